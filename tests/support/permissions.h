#pragma once

// Root, or any process that may override permission bits, reads any file. Dropping that
// before any thread starts (all inherit it) lets a test meet what a user would.
void dropReadOverride();
