#include "platform/util/Address.h"

#include <cstdlib>

namespace addr {

bool Parse(const std::string& text, Address* out) {
  *out = Address{};
  if (text.rfind("phone:", 0) == 0) {
    out->phone = text.substr(6);
    out->kind = Address::kPhone;
    return true;
  }
  if (text.rfind("unix:", 0) == 0) {
    if (text.size() == 5) return false;
    out->path = text.substr(5);
    out->kind = Address::kUnix;
    return true;
  }
  if (text.rfind("tcp:", 0) != 0) return false;
  std::string rest = text.substr(4);
  size_t colon = rest.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == rest.size()) return false;
  std::string host = rest.substr(0, colon);
  std::string port = rest.substr(colon + 1);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  if (host.empty() || port.find_first_not_of("0123456789") != std::string::npos ||
      port.size() > 5 || std::atoi(port.c_str()) > 65535)
    return false;
  out->host = host;
  out->port = port;
  out->kind = Address::kTcp;
  return true;
}

}  // namespace addr
