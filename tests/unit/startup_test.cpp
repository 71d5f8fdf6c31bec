#include "fakes.h"
#include "main.h"
#include "program.h"

using TStartUp = TProgramTest;

TEST_F(TStartUp, CreatesHiddenTopmostPopup) {
  ASSERT_NE(nullptr, MainWindow);
  EXPECT_FALSE(IsWindowVisible(MainWindow));
  EXPECT_EQ(WS_EX_NOACTIVATE | WS_EX_TOPMOST,
            GetWindowLongA(MainWindow, GWL_EXSTYLE) & (WS_EX_NOACTIVATE | WS_EX_TOPMOST));
}
