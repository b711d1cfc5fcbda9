// Links open through the page: a mail link goes to the person's mail program.

#include "platform/UrlOpener.h"

#include <cstdio>

#include "platform/web/Browser.h"

namespace brumelo {

std::shared_future<bool> openURL(const std::string& url, const std::string&) {
    std::promise<bool> promise;
    // Handed to the browser is as far as a page can see.
    const bool handed = brumelo_open_url(url.c_str()) != 0;
    if (!handed) std::fprintf(stderr, "open URL: the browser would not take the link\n");
    promise.set_value(handed);
    return promise.get_future().share();
}

}  // namespace brumelo
