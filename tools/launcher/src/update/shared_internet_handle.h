// A WinINet handle shared by its owners and closed when the last of them lets
// go. A child handle (a connection, a request) keeps its parent open, so the
// handles of a tree close child first, and a thread that still makes a call
// on a request keeps the request, its connection and its session open until
// the call has returned and it lets go.
//
// Wine's WinINet keeps the children of a handle in a list that it changes
// without a lock: when a child is made, and when a closed child goes. The
// download threads each make a connection of the step's session and close it
// again, all at about the same time, and a reader closes its request while
// the connection's next one is made; two such changes at once under one
// parent corrupt the list, and closing the parent then walks into freed
// memory. So every child is made through OpenChild and every handle is
// closed under one lock of the process; neither call waits on the network.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <memory>

class SharedInternetHandle {
  public:
    SharedInternetHandle() = default;

    // Owns the handle that open (given the parent's handle) makes, as a child
    // of parent. Empty when open gives null, with open's last error kept.
    template <typename Open>
    static SharedInternetHandle OpenChild(const SharedInternetHandle& parent, Open open)
    {
        TreeChange change;
        HINTERNET handle = open(parent.Get());
        return SharedInternetHandle(handle, parent);
    }

    // Lets go of the handle held so far and owns handle (null: empty), which
    // has no parent.
    void Reset(HINTERNET handle = nullptr);
    HINTERNET Get() const;
    explicit operator bool() const { return node_ != nullptr; }

  private:
    // Held while a child is made or a handle closed.
    class TreeChange {
      public:
        TreeChange();
        ~TreeChange();
        TreeChange(const TreeChange&) = delete;
        TreeChange& operator=(const TreeChange&) = delete;
    };

    // Owns handle (null: stays empty) as a child of parent (may be empty).
    SharedInternetHandle(HINTERNET handle, const SharedInternetHandle& parent);

    struct Node;
    std::shared_ptr<Node> node_;
};
