#include "sim/tag_field.h"

#include <algorithm>

namespace mkvsim {

namespace {

Bytes BlankEpc(std::uint32_t id) {
  Bytes epc(12, 0);
  for (int i = 0; i < 4; ++i) epc[11 - static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(id >> (8 * i));
  return epc;
}

}  // namespace

std::size_t TagField::Add(const std::optional<Bytes>& epc) {
  const std::uint32_t id = nextId_++;
  tags_.emplace_back(id, epc ? *epc : BlankEpc(id));
  return tags_.size() - 1;
}

void TagField::RemoveAll() {
  tags_.clear();
  selectedId_.reset();
}

bool TagField::RemoveAt(std::size_t index) {
  if (index >= tags_.size()) return false;
  if (selectedId_ == tags_[index].Id()) selectedId_.reset();
  tags_.erase(tags_.begin() + static_cast<std::ptrdiff_t>(index));
  return true;
}

bool TagField::RemoveById(std::uint32_t id) {
  const auto it = std::find_if(tags_.begin(), tags_.end(), [id](const SimTag& t) { return t.Id() == id; });
  if (it == tags_.end()) return false;
  return RemoveAt(static_cast<std::size_t>(it - tags_.begin()));
}

bool TagField::Select(const Bytes& epc) {
  const auto it = std::find_if(tags_.begin(), tags_.end(), [&epc](const SimTag& t) { return t.Epc() == epc; });
  if (it == tags_.end()) return false;
  selectedId_ = it->Id();
  return true;
}

SimTag* TagField::Selected() {
  if (!selectedId_) return nullptr;
  const auto it = std::find_if(tags_.begin(), tags_.end(), [this](const SimTag& t) { return t.Id() == *selectedId_; });
  return it == tags_.end() ? nullptr : &*it;
}

const SimTag* TagField::Selected() const { return const_cast<TagField*>(this)->Selected(); }

}  // namespace mkvsim
