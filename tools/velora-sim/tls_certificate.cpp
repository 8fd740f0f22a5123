#include "tools/velora-sim/tls_certificate.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace velora_sim {

namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using BnPtr = std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_free>>;

std::string openssl_reason(const char* step) {
  std::string text = std::string(step) + " failed";
  if (const unsigned long code = ERR_get_error()) {
    char reason[256];
    ERR_error_string_n(code, reason, sizeof reason);
    text += ": ";
    text += reason;
  }
  ERR_clear_error();
  return text;
}

bool add_extension(X509* cert, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (!ext) return false;
  const bool ok = X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  return ok;
}

std::string bio_text(BIO* bio) {
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio, &data);
  return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

}  // namespace

bool make_self_signed_certificate(TlsCredentials& out, std::string& error) {
  KeyPtr key(EVP_EC_gen("P-256"));
  if (!key) {
    error = openssl_reason("EC key generation");
    return false;
  }
  CertPtr cert(X509_new());
  BnPtr serial(BN_new());
  if (!cert || !serial || X509_set_version(cert.get(), 2) != 1 || BN_rand(serial.get(), 64, 0, 0) != 1 ||
      !BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert.get())) ||
      !X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600) ||
      !X509_gmtime_adj(X509_getm_notAfter(cert.get()), 30L * 24 * 3600) ||
      X509_set_pubkey(cert.get(), key.get()) != 1) {
    error = openssl_reason("certificate set-up");
    return false;
  }
  X509_NAME* name = X509_get_subject_name(cert.get());
  const auto add_name = [name](const char* field, const char* value) {
    return X509_NAME_add_entry_by_txt(name, field, MBSTRING_ASC,
                                      reinterpret_cast<const unsigned char*>(value), -1, -1, 0) == 1;
  };
  if (!add_name("O", "velora-sim") || !add_name("CN", "127.0.0.1") ||
      X509_set_issuer_name(cert.get(), name) != 1) {
    error = openssl_reason("certificate name");
    return false;
  }
  // Marked as its own authority, so that clients can take the PEM as their trust anchor.
  if (!add_extension(cert.get(), NID_basic_constraints, "critical,CA:TRUE") ||
      !add_extension(cert.get(), NID_subject_key_identifier, "hash") ||
      !add_extension(cert.get(), NID_authority_key_identifier, "keyid:always") ||
      !add_extension(cert.get(), NID_key_usage, "critical,digitalSignature,keyCertSign") ||
      !add_extension(cert.get(), NID_ext_key_usage, "serverAuth") ||
      !add_extension(cert.get(), NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost")) {
    error = openssl_reason("certificate extensions");
    return false;
  }
  if (X509_sign(cert.get(), key.get(), EVP_sha256()) <= 0) {
    error = openssl_reason("certificate signing");
    return false;
  }
  BioPtr cert_bio(BIO_new(BIO_s_mem())), key_bio(BIO_new(BIO_s_mem()));
  if (!cert_bio || !key_bio || PEM_write_bio_X509(cert_bio.get(), cert.get()) != 1 ||
      PEM_write_bio_PrivateKey(key_bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
    error = openssl_reason("PEM writing");
    return false;
  }
  out.certificate_pem = bio_text(cert_bio.get());
  out.private_key_pem = bio_text(key_bio.get());
  return true;
}

}  // namespace velora_sim
