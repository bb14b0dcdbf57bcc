// What a successful reply may carry for each command. The protocol has no
// sequence numbers, so a reply that arrives late looks like any other: the
// shape of its data is the one check that tells a stale reply from the one
// the command asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qlmkv::reply {

using Bytes = std::vector<std::uint8_t>;

// True when `data`, the data of a reply with status 0, can answer `command`
// sent with `payload`:
// - acknowledgements (mode, select, write, lock, transmit power set, USB mode
//   switch) carry no data;
// - a read carries at most the bytes asked for;
// - an inventory carries the tag count and two more bytes, then, for exactly
//   one tag, the EPC in whole words; for no tag nothing more;
// - the transmit power is at least 2 bytes (a shorter one has its own code);
// - the version, the device text and unknown commands carry anything.
bool Fits(std::uint8_t command, const Bytes& payload, const Bytes& data);

// True for the commands that change a tag: their acknowledgement decides
// whether a value was used.
bool ChangesTag(std::uint8_t command);

}  // namespace qlmkv::reply
