#pragma once

#include <string>

namespace mirov {

// The program's one error type: it carries the text shown to the user.
class Error {
public:
    explicit Error(std::string message) : m_message(std::move(message)) {}
    const std::string& Message() const { return m_message; }

private:
    std::string m_message;
};

} // namespace mirov
