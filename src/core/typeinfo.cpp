#include "core/typeinfo.h"

#include <unistd.h>
#include <algorithm>
#include <cstring>
#include <fstream>

#include <QFile>
#include <QSaveFile>

#include "core/prompts.h"

namespace scrivane {

namespace {

std::uint16_t U16(const std::uint8_t* p) {
    return std::uint16_t(p[0] | (p[1] << 8));
}
void PutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = std::uint8_t(v & 0xFF);
    p[1] = std::uint8_t(v >> 8);
}

}  // namespace

TypeInfoRecord TypeInfoRecord::FromBytes(const std::uint8_t* data, std::size_t size) {
    std::array<std::uint8_t, kSize> bytes{};
    std::copy_n(data, std::min<std::size_t>(size, kSize), bytes.begin());
    TypeInfoRecord r;
    r.Header = U16(&bytes[0]);
    r.AnswerType = std::int16_t(U16(&bytes[2]));
    std::copy_n(&bytes[4], 6, r.Numeric.begin());
    std::memcpy(r.Text1.data(), &bytes[10], 50);
    r.CheckValue = std::int16_t(U16(&bytes[60]));
    r.Reserved1 = U16(&bytes[62]);
    std::memcpy(r.Text2.data(), &bytes[64], 50);
    r.Reserved2 = U16(&bytes[114]);
    return r;
}

std::array<std::uint8_t, TypeInfoRecord::kSize> TypeInfoRecord::ToBytes() const {
    std::array<std::uint8_t, kSize> bytes{};
    PutU16(&bytes[0], Header);
    PutU16(&bytes[2], std::uint16_t(AnswerType));
    std::copy(Numeric.begin(), Numeric.end(), &bytes[4]);
    std::memcpy(&bytes[10], Text1.data(), 50);
    PutU16(&bytes[60], std::uint16_t(CheckValue));
    PutU16(&bytes[62], Reserved1);
    std::memcpy(&bytes[64], Text2.data(), 50);
    PutU16(&bytes[114], Reserved2);
    return bytes;
}

bool WriteTypeInfoFile(const std::filesystem::path& path, std::int16_t answerType) {
    TypeInfoRecord record;
    record.AnswerType = answerType;
    record.CheckValue = TypeInfoRecord::kCheckValue;
    const auto bytes = record.ToBytes();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out.flush());
}

AnswerTypeWrite WriteAnswerType(const std::filesystem::path& path, std::int16_t answerType) {
    namespace fs = std::filesystem;
    using Outcome = AnswerTypeWrite::Outcome;
    auto failed = [](const QString& reason) { return AnswerTypeWrite{Outcome::Failed, reason}; };
    std::error_code ec;
    // A link is written through: the file it names changes, the link stays.
    const fs::path target =
        fs::is_symlink(fs::symlink_status(path, ec)) ? fs::weakly_canonical(path, ec) : path;
    const fs::file_status status = fs::status(target, ec);
    const bool missing = status.type() == fs::file_type::not_found;
    if (!missing && ec) return failed(QString::fromStdString(ec.message()));
    // A pipe or a device would block the open, or take the record.
    if (!missing && !fs::is_regular_file(status))
        return failed(fs::is_directory(status) ? QStringLiteral("it is a folder, not a file")
                                               : QStringLiteral("it is not a regular file"));
    // Write bits are looked at as well as access(), which lets root write anywhere.
    if (!missing && ((status.permissions() & (fs::perms::owner_write | fs::perms::group_write |
                                              fs::perms::others_write)) == fs::perms::none ||
                     ::access(target.c_str(), W_OK) != 0))
        return failed(QStringLiteral("the file is read-only"));

    const QString name = QString::fromStdString(target.string());
    QFile in(name);
    QByteArray head;
    if (!missing) {
        if (!in.open(QIODevice::ReadOnly)) return failed(in.errorString());
        head = in.read(TypeInfoRecord::kSize);
        if (head.size() < TypeInfoRecord::kSize && !in.atEnd()) return failed(in.errorString());
    }
    if (head.isEmpty()) {
        // A missing or empty file: a fresh record.
        const auto bytes =
            TypeInfoRecord{0, answerType, {}, {}, TypeInfoRecord::kCheckValue}.ToBytes();
        head = QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    } else if (head.size() < TypeInfoRecord::kSize ||
               TypeInfoRecord::FromBytes(reinterpret_cast<const std::uint8_t*>(head.constData()),
                                         std::size_t(head.size()))
                       .CheckValue != TypeInfoRecord::kCheckValue) {
        return {Outcome::NotARecord, {}};
    } else {
        PutU16(reinterpret_cast<std::uint8_t*>(head.data()) + 2, std::uint16_t(answerType));
    }

    QSaveFile out(name);
    if (!out.open(QIODevice::WriteOnly) || out.write(head) != head.size())
        return failed(out.errorString());
    // Whatever follows the record is kept as it is.
    while (in.isOpen() && !in.atEnd()) {
        const QByteArray chunk = in.read(64 * 1024);
        if (chunk.isEmpty() || out.write(chunk) != chunk.size()) {
            out.cancelWriting();
            return failed(chunk.isEmpty() ? in.errorString() : out.errorString());
        }
    }
    if (!out.commit()) return failed(out.errorString());
    return {Outcome::Written, {}};
}

namespace {

// The record in the TypeInfo.con at path, as far as the file holds it;
// nothing when it cannot be read. Only a plain file is read: a pipe or a
// device could block.
std::optional<TypeInfoRecord> ReadRecord(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
    std::ifstream in{path, std::ios::binary};
    if (!in) return std::nullopt;
    std::array<std::uint8_t, TypeInfoRecord::kSize> bytes{};
    in.read(reinterpret_cast<char*>(bytes.data()), bytes.size());
    if (in.bad()) return std::nullopt;
    return TypeInfoRecord::FromBytes(bytes.data(), std::size_t(in.gcount()));
}

}  // namespace

std::int16_t ReadAnswerType(const std::filesystem::path& folder) {
    return ReadRecord(folder / kTypeInfoFileName).value_or(TypeInfoRecord{}).AnswerType;
}

std::optional<std::int16_t> ParseAnswerMode(const QString& text) {
    if (text == QStringLiteral("single")) return std::int16_t(0);
    if (text == QStringLiteral("multiple")) return std::int16_t(3);
    return std::nullopt;
}

void ReadTypeInfo(const std::filesystem::path& programFolder, Prompts& prompts,
                  TypeInfoRecord& record) {
    const auto path = programFolder / kTypeInfoFileName;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec) && !ec) {
        std::ofstream create(path, std::ios::binary);  // a missing file is left behind empty
    }
    // An unreadable file starts like a missing one rather than ending the program.
    record = ReadRecord(path).value_or(TypeInfoRecord{});
    if (record.CheckValue != TypeInfoRecord::kCheckValue) {
        ShowMessage(prompts, QStringLiteral("Type Information Error!"));
    }
}

}  // namespace scrivane
