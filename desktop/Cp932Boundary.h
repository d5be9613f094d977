// Where the window meets the settings: settings and message-of-the-day lines are code
// page 932 bytes, the window shows and edits them as Unicode text. Every conversion
// of the window goes through here.
#pragma once

#include <QString>
#include <map>
#include <optional>
#include <string>
#include <string_view>

class TCp932Boundary {
  public:
    // The bytes as text to show. Bytes that would not come back unchanged from that
    // text (bytes that are no code page 932 character, shown as "\xNN", or a character
    // the code page has two codes for) are remembered with their text.
    QString Show(std::string_view bytes);
    // The text as bytes: the remembered bytes when the text is one shown unchanged,
    // else its code page 932 form; nothing when it holds a character that code page
    // 932 cannot hold.
    std::optional<std::string> Take(const QString& text) const;

  private:
    std::map<QString, std::string> originals_;
};

// The characters of `text` that code page 932 cannot hold, each once, in order of
// appearance; empty when it can hold them all.
QString CharactersNotInCp932(const QString& text);
