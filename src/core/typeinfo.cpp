#include "core/typeinfo.h"

#include <algorithm>
#include <cstring>
#include <fstream>

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

void ReadTypeInfo(const std::filesystem::path& programFolder, Prompts& prompts,
                  TypeInfoRecord& record) {
    const auto path = programFolder / kTypeInfoFileName;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec) && !ec) {
        std::ofstream create(path, std::ios::binary);  // a missing file is left behind empty
    }
    std::array<std::uint8_t, TypeInfoRecord::kSize> bytes{};
    std::size_t got = 0;
    bool readable = false;
    // Only a plain file is read: a pipe or a device could block start-up.
    if (!std::filesystem::is_regular_file(path, ec)) {
    } else if (std::ifstream in{path, std::ios::binary}) {
        in.read(reinterpret_cast<char*>(bytes.data()), bytes.size());
        got = std::size_t(in.gcount());
        readable = !in.bad();
    }
    // An unreadable file starts like a missing one rather than ending the program.
    record = readable ? TypeInfoRecord::FromBytes(bytes.data(), got) : TypeInfoRecord{};
    if (record.CheckValue != TypeInfoRecord::kCheckValue) {
        ShowMessage(prompts, QStringLiteral("Type Information Error!"));
    }
}

}  // namespace scrivane
