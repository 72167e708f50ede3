#pragma once

#include <atomic>
#include <chrono>

#include "extras/update_site.h"
#include "extras/version_file.h"

namespace bc {

/// The update check's time limit for the whole fetch.
inline constexpr std::chrono::seconds kVersionFetchTimeout{60};

/// Fetches the site's version file with one HTTPS GET and blocks until it is
/// done, running its own event loop (call it on a worker thread with a Qt
/// event dispatcher, or an adopted std::thread).
/// Proxies are the desktop's (its settings through libproxy, or https_proxy and
/// no_proxy). The server's certificate and host name are verified against the
/// system's CA store plus `site.extraAuthorities`; a failure there, like a
/// refused or timed-out connection, is a network error, and so is a fetch that
/// has not ended `timeout` after the request, however the server trickles. A status other than 200
/// comes back with no body; for 200 at most kVersionFileReadLimit bytes are read, and the rest of a
/// longer file is not downloaded. Setting `cancel` ends the fetch as a network
/// error within about a tenth of a second.
[[nodiscard]] VersionFetch FetchVersionFile(
    const UpdateSite& site, const std::atomic<bool>* cancel = nullptr,
    std::chrono::milliseconds timeout = kVersionFetchTimeout);

}  // namespace bc
