// The core tests' private folders and message recorder, shared rather than copied.
#include "unit/core/settings_test_folder.cpp"
