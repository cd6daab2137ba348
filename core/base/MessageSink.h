#pragma once

#include <string>

// The one way the core tells the user something: the window shows each text as the
// modal "vorn" box (exclamation icon, one OK button). show() returns once the user has
// seen the box, so messages keep their order.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void show(const std::string& text) = 0;
};
