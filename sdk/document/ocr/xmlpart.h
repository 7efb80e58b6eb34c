// XML parts of the zip packages, written through QXmlStreamWriter for correct escaping.
#ifndef DOCSDK_OCR_XMLPART_H
#define DOCSDK_OCR_XMLPART_H

#include <QBuffer>
#include <QByteArray>
#include <QXmlStreamWriter>

namespace docsdk
{
namespace ocr
{

class XmlPart : public QXmlStreamWriter
{
public:
    XmlPart()
    {
        m_buffer.open(QIODevice::WriteOnly);
        setDevice(&m_buffer);
        writeStartDocument(QStringLiteral("1.0"), true);
    }
    // Closes every open element and returns the UTF-8 document.
    QByteArray finish()
    {
        writeEndDocument();
        return m_buffer.data();
    }

private:
    QBuffer m_buffer;
};

// Millimetres or points with at most three decimals, never in exponent form.
QString decimal(double v);

} // namespace ocr
} // namespace docsdk

#endif
