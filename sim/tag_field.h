// The reader's field: the tags in it, in the order they came in, and the
// tag the host has selected. A tag that leaves the field takes its selection along.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/sim_tag.h"

namespace mkvsim {

class TagField {
 public:
  // Puts a new blank tag in; its EPC and TID are unique (drawn from a counter)
  // unless an EPC is given. Returns its position in the field.
  std::size_t Add(const std::optional<Bytes>& epc = std::nullopt);
  void RemoveAll();
  bool RemoveAt(std::size_t index);
  bool RemoveById(std::uint32_t id);

  std::size_t Count() const { return tags_.size(); }
  const std::vector<SimTag>& Tags() const { return tags_; }

  // Selects the first tag whose EPC equals `epc`; false when none does.
  bool Select(const Bytes& epc);
  // The selected tag while it is in the field, else nullptr.
  SimTag* Selected();
  const SimTag* Selected() const;

 private:
  std::vector<SimTag> tags_;
  std::optional<std::uint32_t> selectedId_;
  std::uint32_t nextId_ = 1;
};

}  // namespace mkvsim
