// Qt's own texts (file dialogs, the buttons of message boxes) in the
// program's language, from the system's Qt translations.
#pragma once

#include <QTranslator>
#include <memory>

namespace stampwise::gui {

class QtTranslations {
 public:
  QtTranslations() = default;
  ~QtTranslations();
  QtTranslations(const QtTranslations&) = delete;
  QtTranslations& operator=(const QtTranslations&) = delete;

  // Installs Qt's catalogue for German, or for English, in place of the one
  // installed before. Without the catalogue Qt keeps its English texts.
  void Follow(bool english);

 private:
  std::unique_ptr<QTranslator> translator_;
};

}  // namespace stampwise::gui
