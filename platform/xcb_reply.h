// Ownership of the blocks xcb hands out (replies, errors): they are freed
// with free(), never with delete.
#pragma once

#include <cstdlib>
#include <memory>

struct XcbFreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

template <typename T>
using XcbReply = std::unique_ptr<T, XcbFreeDeleter>;
