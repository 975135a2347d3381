#include <cstdio>

#include "env/environment.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!conformance::SetUpPlatform(&argc, argv)) return 2;
  std::printf("conformance platform: %s\n", conformance::PlatformName().c_str());
  const int result = RUN_ALL_TESTS();
  conformance::TearDownPlatform();
  return result;
}
