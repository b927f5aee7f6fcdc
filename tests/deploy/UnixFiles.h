#pragma once

#include <string>

// Files and folders as Wine's Unix side holds them: Wine reports a file's or folder's Unix mode as its
// access list (mode 666 or 777: Everyone may write and delete), and a Unix symbolic link as a link.
// Each call runs the Unix command and returns once it has taken effect; false when it failed, or when
// not run under Wine.
bool IsUnderWine();
bool SetUnixMode(const std::string& path, const char* mode);
bool MakeUnixLink(const std::string& target, const std::string& link);
bool RemoveUnixLink(const std::string& link);
