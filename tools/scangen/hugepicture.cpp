#include "scangen/hugepicture.h"

#include <QString>
#include <QStringList>

namespace scrivane::scangen {

namespace {

void Put16(QByteArray& out, int value) {
    out += char((value >> 8) & 0xFF);
    out += char(value & 0xFF);
}

// A baseline grey JPEG of side × side whose every block is the same shade:
// one-bit Huffman codes, so each 8 × 8 block takes two bits.
QByteArray FlatJpeg(int side) {
    QByteArray out("\xFF\xD8", 2);
    out += QByteArray("\xFF\xDB", 2);
    Put16(out, 67);
    out += '\0';
    out += QByteArray(64, '\x01');
    out += QByteArray("\xFF\xC0", 2);
    Put16(out, 11);
    out += char(8);
    Put16(out, side);
    Put16(out, side);
    out += QByteArray("\x01\x01\x11\x00", 4);
    for (const char table : {'\x00', '\x10'}) {  // DC, then AC: one code, value 0
        out += QByteArray("\xFF\xC4", 2);
        Put16(out, 20);
        out += table;
        out += '\x01';
        out += QByteArray(15, '\0');
        out += '\0';
    }
    out += QByteArray("\xFF\xDA", 2);
    Put16(out, 8);
    out += QByteArray("\x01\x01\x00\x00\x3F\x00", 6);
    const qint64 blocks = qint64((side + 7) / 8) * ((side + 7) / 8);
    out += QByteArray(qsizetype((blocks * 2 + 7) / 8), '\0');
    out += QByteArray("\xFF\xD9", 2);
    return out;
}

}  // namespace

QByteArray HugePicturePdf(const std::vector<PicturePage>& pages) {
    std::vector<QByteArray> objects;  // object n + 1 at n
    const auto add = [&objects](const QByteArray& body) {
        objects.push_back(body);
        return int(objects.size());
    };
    add("<< /Type /Catalog /Pages 2 0 R >>");
    add({});  // the page tree, once its pages are known
    QStringList kids;
    for (const PicturePage& page : pages) {
        const QByteArray jpeg = FlatJpeg(page.side);
        const int image =
            add(QStringLiteral("<< /Type /XObject /Subtype /Image /Width %1 /Height %1 "
                               "/ColorSpace /DeviceGray /BitsPerComponent 8 "
                               "/Filter /DCTDecode /Length %2 >>\nstream\n")
                    .arg(page.side)
                    .arg(jpeg.size())
                    .toLatin1() +
                jpeg + "\nendstream");
        const QByteArray draw = "q 595 0 0 842 0 0 cm /Im0 Do Q";
        int drawn = image;
        if (page.nested) {
            const QByteArray form = "/Im0 Do";
            drawn = add(QStringLiteral("<< /Type /XObject /Subtype /Form /BBox [0 0 1 1] "
                                       "/Resources << /XObject << /Im0 %1 0 R >> >> /Length %2 "
                                       ">>\nstream\n")
                            .arg(image)
                            .arg(form.size())
                            .toLatin1() +
                        form + "\nendstream");
        }
        const int content =
            add(QStringLiteral("<< /Length %1 >>\nstream\n").arg(draw.size()).toLatin1() + draw +
                "\nendstream");
        const int resources =
            add(QStringLiteral("<< /XObject << /Im0 %1 0 R >> >>").arg(drawn).toLatin1());
        kids << QStringLiteral("%1 0 R").arg(
            add(QStringLiteral("<< /Type /Page /Parent 2 0 R "
                               "/MediaBox [0 0 595 842] /Resources "
                               "%1 0 R /Contents %2 0 R >>")
                    .arg(resources)
                    .arg(content)
                    .toLatin1()));
    }
    objects[1] = QStringLiteral("<< /Type /Pages /Kids [%1] /Count %2 >>")
                     .arg(kids.join(u' '))
                     .arg(pages.size())
                     .toLatin1();
    QByteArray pdf("%PDF-1.4\n");
    std::vector<qsizetype> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += QByteArray::number(qulonglong(i + 1)) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf +=
        "xref\n0 " + QByteArray::number(qulonglong(objects.size() + 1)) + "\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets)
        pdf += QByteArray::number(qlonglong(offset)).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(qulonglong(objects.size() + 1)) +
           " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(qlonglong(xref)) + "\n%%EOF\n";
    return pdf;
}

}  // namespace scrivane::scangen
