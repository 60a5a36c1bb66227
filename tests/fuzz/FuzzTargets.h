#pragma once

#include <cstddef>
#include <cstdint>

// What each fuzz harness does with one input; the replay test runs the same code on
// every input kept under tests/data/fuzz/, so what a fuzzer once found stays fixed.
namespace larkspan::fuzz {

// Raw message octets to every field the session hands on (its first line doubles as
// the INTERNALDATE). Returns a sum of the sizes read, so nothing is optimised away.
long long ReadMessage(const uint8_t *data, size_t size);

// Server octets, split into chunks (the first octet picks their size), through the
// response reader and the value parser the client uses for FETCH and LIST answers.
long long ReadResponses(const uint8_t *data, size_t size);

// A PDF attachment: inspected, then appended to a message's page (50 pages at most).
long long AppendDocument(const uint8_t *data, size_t size);

} // namespace larkspan::fuzz
