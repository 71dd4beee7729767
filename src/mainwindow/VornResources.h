#pragma once

// Registers the embedded icons. The resources live in a static library, so
// they have to be registered before the first ":/resources/..." path is used;
// calling it again does nothing.
void initVornResources();
