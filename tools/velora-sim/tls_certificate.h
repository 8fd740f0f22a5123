// A fresh self-signed certificate for the simulated platform's HTTPS mode:
// EC P-256 key, valid from an hour ago for 30 days, subject alternative
// names IP:127.0.0.1 and DNS:localhost, so a client that trusts the PEM can
// verify the server. Any thread.
#pragma once

#include <string>

namespace velora_sim {

struct TlsCredentials {
  std::string certificate_pem;
  std::string private_key_pem;
};

// False with *error holding OpenSSL's reason.
bool make_self_signed_certificate(TlsCredentials& out, std::string& error);

}  // namespace velora_sim
