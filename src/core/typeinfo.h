// The type-information record of TypeInfo.con beside the program: it chooses
// the answer mode once, for the whole run.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>

#include <QString>

namespace scrivane {

class Prompts;

struct TypeInfoRecord {
    static constexpr int kSize = 116;
    static constexpr std::int16_t kCheckValue = 1718;

    std::uint16_t Header = 0;               // offset 0, not used
    std::int16_t AnswerType = 0;            // offset 2
    std::array<std::uint8_t, 6> Numeric{};  // offset 4, not used
    std::array<char, 50> Text1{};           // offset 10, not used
    std::int16_t CheckValue = 0;            // offset 60
    std::uint16_t Reserved1 = 0;            // offset 62, not used
    std::array<char, 50> Text2{};           // offset 64, not used
    std::uint16_t Reserved2 = 0;            // offset 114, not used

    // Fields beyond the end of a short record stay zero.
    static TypeInfoRecord FromBytes(const std::uint8_t* data, std::size_t size);
    std::array<std::uint8_t, kSize> ToBytes() const;
};

inline constexpr const char* kTypeInfoFileName = "TypeInfo.con";

// Writes a valid TypeInfo.con with the given AnswerType to path; false when
// it could not be written.
bool WriteTypeInfoFile(const std::filesystem::path& path, std::int16_t answerType);

// What became of a new answer mode written into TypeInfo.con.
struct AnswerTypeWrite {
    enum class Outcome {
        Written,
        NotARecord,  // 1 to 115 bytes, or no check value: left as it is
        Failed,      // not a regular file, read-only, or the write failed
    };
    Outcome outcome = Outcome::Failed;
    QString reason;  // why it failed
};

// Changes the two bytes of AnswerType in the TypeInfo.con at path and
// nothing else, written safely (the file is replaced whole or left as it
// was; a link is written through). A missing or empty file gets a fresh
// record. Only a regular file is ever opened.
AnswerTypeWrite WriteAnswerType(const std::filesystem::path& path, std::int16_t answerType);

// The answer type of TypeInfo.con in folder, read without creating or
// changing anything and without a message: 0 (single-answer mode) when it is
// missing or unreadable. The converter reads the answer mode through it.
std::int16_t ReadAnswerType(const std::filesystem::path& folder);

// The answer type that --mode names: 0 for "single", 3 for "multiple",
// nothing for any other text. Every converter mode reads --mode through it.
std::optional<std::int16_t> ParseAnswerMode(const QString& text);

// Reads TypeInfo.con from the program's folder into record. A missing file is
// created empty. A wrong check value, or a file that cannot be opened, created
// or read, shows "Type Information Error!"; start-up goes on with what was read
// (all zero when nothing could be read: single-answer mode, option F hidden).
void ReadTypeInfo(const std::filesystem::path& programFolder, Prompts& prompts,
                  TypeInfoRecord& record);

}  // namespace scrivane
