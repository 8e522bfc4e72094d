// Readers of plain-text settings files: "key=value" lines, optionally in "[section]" blocks.
#include "foundation/Settings.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/CQ7Exception.h"

namespace {

// Reads one whole line of any length (without its line feed); false at end of file.
bool ReadLine(FILE* file, std::string* line) {
  line->clear();
  int c;
  bool any = false;
  while ((c = fgetc(file)) != EOF) {
    any = true;
    if (c == '\n') break;
    line->push_back(static_cast<char>(c));
  }
  return any;
}

// Cuts at the first control character; a tab is kept, since blanks and tabs are removed later
// from keys and values alike.
void CutAtControl(std::string* line) {
  for (size_t i = 0; i < line->size(); ++i) {
    const unsigned char c = static_cast<unsigned char>((*line)[i]);
    if ((c < 0x20 && c != '\t') || c == 0x7F) {
      line->resize(i);
      return;
    }
  }
}

std::string WithoutBlanks(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c != ' ' && c != '\t') out.push_back(c);
  }
  return out;
}

// Splits a key=value line; false for a line without "=".
bool SplitKeyValue(const std::string& line, std::string* key, std::string* value) {
  const size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  *key = WithoutBlanks(line.substr(0, eq));
  *value = WithoutBlanks(line.substr(eq + 1));
  return true;
}

// A "[name]" line gives the name with blanks removed.
bool SectionName(const std::string& line, std::string* name) {
  const size_t open = line.find('[');
  if (open == std::string::npos) return false;
  const size_t close = line.find(']', open + 1);
  if (close == std::string::npos) return false;
  if (!WithoutBlanks(line.substr(0, open)).empty()) return false;
  *name = WithoutBlanks(line.substr(open + 1, close - open - 1));
  return true;
}

char g_profile_string[255];
char g_profile_value[256];

}  // namespace

void CutWhiteSpace(char* text) {
  if (text == nullptr) return;
  char* out = text;
  for (const char* in = text; *in != '\0'; ++in) {
    if (*in != ' ' && *in != '\t') *out++ = *in;
  }
  *out = '\0';
}

char* getProfileString(const char* file, const char* key) {
  if (file == nullptr || key == nullptr) return nullptr;
  FILE* f = fopen(file, "r");
  if (f == nullptr) return nullptr;
  std::string line, k, v;
  char* found = nullptr;
  while (ReadLine(f, &line)) {
    CutAtControl(&line);
    if (!SplitKeyValue(line, &k, &v) || k != key) continue;
    qz7_strlcpy(g_profile_string, v.c_str(), sizeof g_profile_string);
    found = g_profile_string;
    break;
  }
  fclose(f);
  return found;
}

int getPrivateProfileString(const char* section, const char* key, const char* default_value, char* out,
                            int size, const char* file) {
  if (out == nullptr || size < 1) return 0;
  std::string value;
  bool found = false;
  FILE* f = (file != nullptr && section != nullptr && key != nullptr) ? fopen(file, "r") : nullptr;
  if (f != nullptr) {
    std::string line, name, k, v;
    bool in_section = false;
    while (!found && ReadLine(f, &line)) {
      CutAtControl(&line);
      if (SectionName(line, &name)) {
        in_section = (name == section);
      } else if (in_section && SplitKeyValue(line, &k, &v) && k == key) {
        value = v;
        found = true;
      }
    }
    fclose(f);
  }
  if (!found) value = default_value != nullptr ? WithoutBlanks(default_value) : std::string();
  qz7_strlcpy(out, value.c_str(), static_cast<size_t>(size));
  return static_cast<int>(strlen(out));
}

char* getProfileValue(const char* section, const char* key) {
  getPrivateProfileString(section, key, nullptr, g_profile_value, 255, kSettingsFileName);
  return g_profile_value;
}
