// SPDX-License-Identifier: LGPL-2.1-or-later
// The window and EGL set-up on the test X server.
#include <gtest/gtest.h>

#include <string>

#include "render/OGLESHelloAPI_LinuxX11.h"
#include "tests/support/TestServers.h"

namespace {

class NativeWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(zs::test::UseTestServers());
    bool opened = false;
    zs::test::Captured([&] { opened = createNativeDisplay(&display); });
    ASSERT_TRUE(opened);
  }
  void TearDown() override { releaseNativeResources(display, window, nullptr); }

  Display* display = nullptr;
  Window window = 0;
};

TEST_F(NativeWindow, OpensAtTheCurrentSizeWithTitleIconAndCloseProtocol) {
  // A window manager would have made the icon atom; here the test makes it.
  XInternAtom(display, "_NET_WM_ICON", False);
  WindowWidthCurrent = 560;  // what a GUI scale of 0.7 gives
  WindowHeightCurrent = 420;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(createNativeWindow(display, &window));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("XSetIconName() = "), std::string::npos);
  XSync(display, False);

  XWindowAttributes attributes;
  ASSERT_TRUE(XGetWindowAttributes(display, window, &attributes));
  EXPECT_EQ(attributes.width, 560);
  EXPECT_EQ(attributes.height, 420);
  EXPECT_EQ(attributes.your_event_mask, ButtonPressMask | ExposureMask | StructureNotifyMask);

  char *name = nullptr, *iconName = nullptr;
  ASSERT_TRUE(XFetchName(display, window, &name) && XGetIconName(display, window, &iconName));
  EXPECT_STREQ(name, "Zembrovane Sequencer");
  EXPECT_STREQ(iconName, "Sequencer");
  XFree(name);
  XFree(iconName);

  Atom* protocols = nullptr;
  int count = 0;
  ASSERT_TRUE(XGetWMProtocols(display, window, &protocols, &count));
  ASSERT_EQ(count, 1);
  EXPECT_EQ(protocols[0], XInternAtom(display, "WM_DELETE_WINDOW", True));
  XFree(protocols);
}

TEST(NativeDisplay, NullOrMissingDisplayFails) {
  EXPECT_FALSE(createNativeDisplay(nullptr));
  const char* saved = getenv("DISPLAY");
  const std::string previous = saved ? saved : "";
  setenv("DISPLAY", ":9999", 1);  // no server listens there
  Display* display = nullptr;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(createNativeDisplay(&display));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: Unable to open X display\n");
  EXPECT_EQ(display, nullptr);
  if (saved) setenv("DISPLAY", previous.c_str(), 1);
}

}  // namespace
