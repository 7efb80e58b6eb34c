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
    // A part whose elements all live in one namespace under a fixed prefix.
    XmlPart(const QString &ns, const QString &prefix, const QString &root) : XmlPart()
    {
        m_ns = ns;
        writeNamespace(ns, prefix);
        writeStartElement(ns, root);
    }
    void start(const QString &name) { writeStartElement(m_ns, name); }
    void element(const QString &name, const QString &text) { writeTextElement(m_ns, name, text); }
    // Closes every open element and returns the UTF-8 document.
    QByteArray finish()
    {
        writeEndDocument();
        return m_buffer.data();
    }

private:
    QBuffer m_buffer;
    QString m_ns;
};

// Millimetres or points with at most three decimals, never in exponent form.
QString decimal(double v);

} // namespace ocr
} // namespace docsdk

#endif
