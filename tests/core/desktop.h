// The one desktop every core test starts from, so a reader learns one tree:
//
//   Notes (pid 42, org.example.notes, frontmost) — window "Inbox"
//     toolbar: OK (presses), Delete (disabled; offers press but refuses it)
//     group:   text area "hello" (focused), a secure field holding "hunter2"
//   Éditeur (101), two "Notes Twin" (201, 202), Helper (502, not regular),
//   and an application without a display name and without a window (701).
#pragma once

#include <memory>
#include <string>

#include "platform/fake/fake_desktop.h"

namespace nuvra::testing {

std::unique_ptr<FakeDesktop> testDesktop();

// A chain of `n` groups, each the only child of the one before; the head.
Element chain(FakeDesktop& d, int n);

}  // namespace nuvra::testing
