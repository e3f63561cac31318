// The computer's addresses a phone on the same network can reach.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <sstream>

#include "send/service.h"

namespace sender {
namespace {

constexpr unsigned kRouteUp = 0x1;  // RTF_UP

// The interface of the default route with the lowest metric; "" for none.
std::string DefaultRouteInterface(const std::string& procNetRoute) {
  std::istringstream lines(procNetRoute);
  std::string line;
  std::getline(lines, line);  // the column titles
  std::string best;
  long bestMetric = std::numeric_limits<long>::max();
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string iface, destination, gateway, flags, refCount, use, metric, mask;
    if (!(fields >> iface >> destination >> gateway >> flags >> refCount >> use >> metric >>
          mask)) {
      continue;
    }
    unsigned long flagBits = 0;
    long metricValue = 0;
    try {
      flagBits = std::stoul(flags, nullptr, 16);
      metricValue = std::stol(metric);
    } catch (...) {
      continue;
    }
    if (destination != "00000000" || mask != "00000000" || !(flagBits & kRouteUp)) continue;
    if (metricValue < bestMetric) {
      bestMetric = metricValue;
      best = iface;
    }
  }
  return best;
}

}  // namespace

std::vector<LocalAddress> OrderLocalAddresses(const std::string& procNetRoute,
                                              const std::vector<InterfaceAddress>& found) {
  std::vector<LocalAddress> usable;
  for (const InterfaceAddress& entry : found) {
    in_addr parsed{};
    if (!entry.up || entry.loopback || ::inet_pton(AF_INET, entry.address.c_str(), &parsed) != 1 ||
        (ntohl(parsed.s_addr) >> 24) == 127) {
      continue;
    }
    bool seen = std::ranges::any_of(
        usable, [&](const LocalAddress& kept) { return kept.address == entry.address; });
    if (!seen) usable.push_back({entry.address, entry.interface});
  }
  std::string preferred = DefaultRouteInterface(procNetRoute);
  std::ranges::stable_partition(
      usable, [&](const LocalAddress& kept) { return kept.interface == preferred; });
  return usable;
}

std::vector<LocalAddress> LocalAddresses() {
  std::vector<InterfaceAddress> found;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return {};
  for (ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
    if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET) continue;
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(it->ifa_addr)->sin_addr, text,
                sizeof text);
    found.push_back({it->ifa_name ? it->ifa_name : "", text, (it->ifa_flags & IFF_UP) != 0,
                     (it->ifa_flags & IFF_LOOPBACK) != 0});
  }
  ::freeifaddrs(list);
  std::ifstream route("/proc/net/route");
  std::stringstream text;
  text << route.rdbuf();
  return OrderLocalAddresses(text.str(), found);
}

}  // namespace sender
