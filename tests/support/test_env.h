#pragma once

namespace velmora::test {

// Makes Qt headless and quiet before any Qt object exists: the offscreen platform unless the caller
// chose another, and a private 0700 runtime folder when none is set. Test binaries also run outside
// CTest (gtest discovery, by hand), where CTest's environment does not apply.
void prepareQtEnvironment();

}  // namespace velmora::test
