// The publisher's side of release signatures (zdl-mkdesc --keygen and
// --sign), in minisign's own file formats, so that keys and signatures made
// here and by the minisign tool can be used with either.
//
// A secret key file is an untrusted comment line and the base64 of
//   "Ed" | kdf "Sc" (scrypt) or two zero bytes (no password) | "B2" |
//   salt (32) | opslimit (8, little-endian) | memlimit (8) |
//   key id (8) | Ed25519 secret key (64) | BLAKE2b-256 checksum (32)
// where, with a password, the last 104 bytes are XORed with an scrypt stream
// of the password (minisign's interactive limits: about 1 GiB of memory).
// Signatures are the prehashed form ("ED") with minisign's trusted comment
// "timestamp:<now>\tfile:<name>\thashed". Native only (full libsodium).
#pragma once

#include <string>

namespace zdl::mkdesc {

// Writes a new key pair; an empty password leaves the secret key plain
// (like minisign -W). `error` says why it failed.
bool MakeKeyPair(
    const std::string& publicFile, const std::string& secretFile, const std::string& password, std::string* error);

// Whether the secret key file asks for a password (false if unreadable).
bool SecretKeyHasPassword(const std::string& secretFile);

// Signs `file` with the secret key into "<file>.minisig".
bool SignFile(const std::string& secretFile, const std::string& password, const std::string& file, std::string* error);

} // namespace zdl::mkdesc
