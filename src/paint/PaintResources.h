#pragma once

// Registers the picture editor's icons; safe to call more than once.
void initPaintResources();
