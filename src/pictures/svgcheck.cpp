#include "pictures/svgcheck.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

namespace scrivane {

namespace {

// A reference that stays inside the picture: a fragment of it ("#grad") or
// data carried in the reference itself.
bool IsInside(QStringView target) {
    const QStringView t = target.trimmed();
    return t.startsWith(u'#') || t.startsWith(u"data:", Qt::CaseInsensitive);
}

// The first url(...) of a style or presentation attribute that leaves the
// picture, or an @import; empty when there is none.
QString OutsideInStyle(const QString& style) {
    if (style.contains(QStringLiteral("@import"), Qt::CaseInsensitive))
        return QStringLiteral("an external style sheet");
    static const QRegularExpression url(QStringLiteral(R"(url\s*\(\s*['"]?([^'")]*))"),
                                        QRegularExpression::CaseInsensitiveOption);
    for (auto it = url.globalMatch(style); it.hasNext();) {
        const QString target = it.next().captured(1);
        if (!IsInside(target)) return target.trimmed();
    }
    return {};
}

QString Outside(const QString& what) {
    return QStringLiteral("refers to %1 outside itself").arg(what);
}

}  // namespace

bool LooksLikeSvg(const QByteArray& data) {
    QXmlStreamReader xml(data);
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
            case QXmlStreamReader::StartElement:
                return xml.name() == u"svg";
            case QXmlStreamReader::DTD:
                // A DOCTYPE before the root still makes an SVG, to be refused
                // by the check rather than taken for another format.
                return data.left(4096).contains("<svg");
            case QXmlStreamReader::Invalid:
                return false;
            default:
                break;
        }
    }
    return false;
}

QString SvgRefusal(const QByteArray& data) {
    QXmlStreamReader xml(data);
    // Entities are never expanded: a DOCTYPE stops the check before its
    // declarations are used.
    bool inStyle = false;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
            case QXmlStreamReader::DTD:
                return QStringLiteral("declares a DOCTYPE or entities");
            case QXmlStreamReader::EntityReference:
                return QStringLiteral("uses an entity");
            case QXmlStreamReader::ProcessingInstruction:
                if (xml.processingInstructionTarget().compare(u"xml-stylesheet",
                                                              Qt::CaseInsensitive) == 0)
                    return Outside(QStringLiteral("an external style sheet"));
                break;
            case QXmlStreamReader::StartElement: {
                if (xml.name().compare(u"script", Qt::CaseInsensitive) == 0)
                    return QStringLiteral("holds a script");
                inStyle = xml.name().compare(u"style", Qt::CaseInsensitive) == 0;
                for (const QXmlStreamAttribute& attribute : xml.attributes()) {
                    const QStringView name = attribute.name();
                    const QString value = attribute.value().toString();
                    if (name.startsWith(u"on", Qt::CaseInsensitive))
                        return QStringLiteral("holds a script");
                    if ((name.compare(u"href", Qt::CaseInsensitive) == 0 ||
                         name.compare(u"src", Qt::CaseInsensitive) == 0) &&
                        !IsInside(value))
                        return Outside(value.trimmed());
                    if (value.startsWith(u"javascript:", Qt::CaseInsensitive))
                        return QStringLiteral("holds a script");
                    if (const QString outside = OutsideInStyle(value); !outside.isEmpty())
                        return Outside(outside);
                }
                break;
            }
            case QXmlStreamReader::EndElement:
                inStyle = false;
                break;
            case QXmlStreamReader::Characters:
                if (inStyle) {
                    if (const QString outside = OutsideInStyle(xml.text().toString());
                        !outside.isEmpty())
                        return Outside(outside);
                }
                break;
            default:
                break;
        }
    }
    if (xml.hasError()) return QStringLiteral("is damaged (%1)").arg(xml.errorString());
    return {};
}

}  // namespace scrivane
