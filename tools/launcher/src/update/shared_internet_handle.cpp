#include "shared_internet_handle.h"

namespace {

SRWLOCK TreeLock = SRWLOCK_INIT;

} // namespace

struct SharedInternetHandle::Node {
    HINTERNET handle;
    std::shared_ptr<Node> parent; // released after the handle is closed, outside the lock

    Node(HINTERNET h, std::shared_ptr<Node> p) : handle(h), parent(std::move(p)) {}
    ~Node()
    {
        TreeChange change;
        InternetCloseHandle(handle);
    }
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
};

SharedInternetHandle::TreeChange::TreeChange()
{
    AcquireSRWLockExclusive(&TreeLock);
}

SharedInternetHandle::TreeChange::~TreeChange()
{
    ReleaseSRWLockExclusive(&TreeLock);
}

SharedInternetHandle::SharedInternetHandle(HINTERNET handle, const SharedInternetHandle& parent)
{
    if (handle)
        node_ = std::make_shared<Node>(handle, parent.node_);
}

void SharedInternetHandle::Reset(HINTERNET handle)
{
    node_ = handle ? std::make_shared<Node>(handle, nullptr) : nullptr;
}

HINTERNET SharedInternetHandle::Get() const
{
    return node_ ? node_->handle : nullptr;
}
