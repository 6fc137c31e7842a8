// Error of a file operation (open, read, create, write, flush, close) that the
// program's window code shows to the user.
#pragma once
#include <stdexcept>
#include <string>

class TFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
