// Drawing of the small image buttons (add, remove, edit, up, down, import,
// export): owner-drawn push buttons whose image is drawn as vector shapes, so
// it stays sharp at every DPI.
#pragma once

#include <windows.h>

enum class Glyph { Add, Remove, Edit, Up, Down, Import, Export };

// Draws the button of `item` (a WM_DRAWITEM of an owner-drawn push button)
// with its image `size` pixels square in the middle.
void DrawGlyphButton(const DRAWITEMSTRUCT& item, Glyph glyph, int size);
