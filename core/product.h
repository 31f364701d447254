// What the program says about itself: its title is the message-box title
// (kAppTitle, core/message_box.h); its version as the user reads it.
#pragma once

constexpr const wchar_t* kProductVersion = L"2.14.1";
