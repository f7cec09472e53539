// A WinINet handle shared by its owners and closed when the last of them lets
// go. A child handle (a connection, a request) keeps its parent open, so the
// handles of a tree close child first, and a thread that still makes a call
// on a request keeps the request, its connection and its session open until
// the call has returned and it lets go.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <memory>

class SharedInternetHandle {
  public:
    SharedInternetHandle() = default;
    // Owns handle (null: stays empty) as a child of parent (may be empty).
    SharedInternetHandle(HINTERNET handle, const SharedInternetHandle& parent);

    // Lets go of the handle held so far and owns handle (null: empty), which
    // has no parent.
    void Reset(HINTERNET handle = nullptr);
    HINTERNET Get() const;
    explicit operator bool() const { return node_ != nullptr; }

  private:
    struct Node;
    std::shared_ptr<Node> node_;
};
