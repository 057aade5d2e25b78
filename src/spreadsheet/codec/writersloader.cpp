// package_writer.h's functions in a program built with the writers' module:
// each opens scrivane-writers.so beside the program on its first call and
// runs the module's own. A module that cannot be opened fails the write with
// a message that names its file; nothing is written.
#include <dlfcn.h>

#include <filesystem>
#include <string>

#include "spreadsheet/codec/package_writer.h"
#include "spreadsheet/codec/writersmodule.h"

namespace scrivane::codec {

namespace {

class Module {
public:
    static const PackageWriters& Writers() {
        static const Module module;
        if (!module.writers_)
            throw WorkbookError("the workbook writers cannot be loaded: " + module.error_);
        return *module.writers_;
    }

private:
    Module() {
        std::error_code ec;
        const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
        const std::string file = (program.parent_path() / kWritersModule).string();
        // Kept open for the life of the program, as a linked library would be.
        void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            const char* why = dlerror();
            error_ = why ? why : file + " cannot be opened";
            return;
        }
        using Entry = const PackageWriters* (*)();
        const auto entry = reinterpret_cast<Entry>(dlsym(library, kWritersEntry));
        if (!entry) {
            error_ = std::string(kWritersEntry) + " is missing from " + file;
            return;
        }
        writers_ = entry();
    }

    const PackageWriters* writers_ = nullptr;
    std::string error_;
};

}  // namespace

std::vector<std::uint8_t> WriteXlsxBytes(const Workbook& book) {
    return Module::Writers().xlsx(book);
}

std::vector<std::uint8_t> WriteOdsBytes(const Workbook& book) {
    return Module::Writers().ods(book);
}

std::vector<std::uint8_t> WriteZipBytes(
    const std::vector<std::pair<std::string, std::string>>& members) {
    return Module::Writers().zip(members);
}

}  // namespace scrivane::codec
