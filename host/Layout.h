// Where the window's three controls go for a client area of width w and height h.
#pragma once

#include <algorithm>

namespace orvanta::host {

struct Box {
  int x = 0, y = 0, width = 0, height = 0;
};

struct WindowLayout {
  Box output, input, submit;
};

// Input hidden: the output pane fills the client area. Input shown (menuHeight is the
// system's menu-bar height): the input box on top down to h/2 - menuHeight, the button
// below it, the output pane in the lower half. All span the full width.
inline WindowLayout ComputeLayout(int w, int h, int menuHeight, bool inputVisible) {
  WindowLayout l;
  if (!inputVisible) {
    l.output = {0, 0, w, h};
    return l;
  }
  const int half = h / 2;
  const int inputHeight = std::max(0, half - menuHeight);
  l.input = {0, 0, w, inputHeight};
  l.submit = {0, inputHeight, w, half - inputHeight};
  l.output = {0, half, w, half};
  return l;
}

}  // namespace orvanta::host
