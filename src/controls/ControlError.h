#pragma once

#include <stdexcept>
#include <string>

/// An error a control raises to the code that set one of its properties, with the classic error
/// number beside the description.
class ControlError : public std::runtime_error {
public:
    ControlError(int number, const std::string& description)
        : std::runtime_error(description), m_number(number) {}
    int number() const { return m_number; }

private:
    int m_number;
};
