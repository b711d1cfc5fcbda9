#pragma once

#include <future>
#include <string>

namespace brumelo {

// Starts command (empty: xdg-open) with the URL as its one argument and returns at once; a
// watcher waits for the command and logs one line if it could not start or ended in failure.
// The future tells whether it succeeded.
std::shared_future<bool> openURL(const std::string& url, const std::string& command = "");

}  // namespace brumelo
