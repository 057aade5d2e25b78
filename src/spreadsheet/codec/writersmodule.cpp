// The module's door: the table of the writers linked into it.
#include "spreadsheet/codec/writersmodule.h"

#include "spreadsheet/codec/package_writer.h"

extern "C" __attribute__((visibility("default"))) const scrivane::codec::PackageWriters*
scrivane_package_writers() {
    using namespace scrivane::codec;
    static const PackageWriters writers{&WriteXlsxBytes, &WriteOdsBytes, &WriteZipBytes};
    return &writers;
}
