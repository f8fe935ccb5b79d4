#include "Certificates.h"

#include "Exceptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <memory>
#include <vector>
#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

using rt::DataPacket;
using rt::FieldDef;
using rt::FieldType;

namespace {

struct X509Free { void operator()(X509 *x) const { X509_free(x); } };
struct BioFree { void operator()(BIO *b) const { BIO_free(b); } };
using X509Ptr = std::unique_ptr<X509, X509Free>;

QString subjectName(X509 *cert)
{
    X509_NAME *name = X509_get_subject_name(cert);
    const int idx = X509_NAME_get_index_by_NID(name, NID_commonName, -1);
    if (idx >= 0) {
        ASN1_STRING *data = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, idx));
        unsigned char *utf8 = nullptr;
        const int len = ASN1_STRING_to_UTF8(&utf8, data);
        if (len >= 0) {
            const QString s = QString::fromUtf8(reinterpret_cast<const char *>(utf8), len);
            OPENSSL_free(utf8);
            return s;
        }
    }
    std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB);
    char *p = nullptr;
    const long len = BIO_get_mem_data(bio.get(), &p);
    return QString::fromUtf8(p, int(len));
}

QString serialNumber(X509 *cert)
{
    BIGNUM *bn = ASN1_INTEGER_to_BN(X509_get0_serialNumber(cert), nullptr);
    if (!bn)
        return QString();
    char *hex = BN_bn2hex(bn);
    QString s = QString::fromLatin1(hex);
    OPENSSL_free(hex);
    BN_free(bn);
    // Whole bytes, as OpenSSL itself prints serials: zero is "00".
    return s == QLatin1String("0") ? QStringLiteral("00") : s;
}

QString validUntil(X509 *cert)
{
    struct tm t = {};
    if (ASN1_TIME_to_tm(X509_get0_notAfter(cert), &t) != 1)
        return QString();
    return QStringLiteral("%1/%2/%3").arg(t.tm_mday, 2, 10, QChar('0')).arg(t.tm_mon + 1, 2, 10, QChar('0')).arg(t.tm_year + 1900);
}

std::vector<X509Ptr> certificatesIn(const QByteArray &bytes)
{
    std::vector<X509Ptr> out;
    std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(bytes.constData(), int(bytes.size())));
    while (X509 *x = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr))
        out.emplace_back(x);
    if (!out.empty())
        return out;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    if (X509 *x = d2i_X509(nullptr, &p, long(bytes.size())))
        out.emplace_back(x);
    return out;
}

QVector<FieldDef> certificateFields()
{
    return {FieldDef{"NMRAZAOSOCIAL", FieldType::String, 100}, FieldDef{"NRSERIE", FieldType::String, 50},
            FieldDef{"DTVALIDADE", FieldType::String, 20}};
}

// At most n characters, never half of a surrogate pair (a character beyond
// the 16-bit range) at the end.
QString leftWhole(const QString &s, qsizetype n)
{
    if (s.size() <= n)
        return s;
    return s.left(n > 0 && s.at(n - 1).isHighSurrogate() ? n - 1 : n);
}

void appendCertificates(DataPacket &p, const QByteArray &contents)
{
    for (const X509Ptr &cert : certificatesIn(contents))
        p.rows.append({leftWhole(subjectName(cert.get()), 100), leftWhole(serialNumber(cert.get()), 50), validUntil(cert.get())});
}

} // namespace

DataPacket readCertificateFile(const QByteArray &contents)
{
    DataPacket p;
    p.fields = certificateFields();
    appendCertificates(p, contents);
    return p;
}

DataPacket readCertificates(const QString &directory)
{
    if (directory.isEmpty())
        throw rt::Exception(QStringLiteral("O diretório de certificados do servidor não foi configurado."));
    const QDir dir(directory);
    if (!dir.exists())
        throw rt::Exception(QStringLiteral("O diretório de certificados %1 não existe.").arg(directory));
    if (!QFileInfo(directory).isReadable())
        throw rt::Exception(QStringLiteral("O diretório de certificados %1 não pode ser lido.").arg(directory));

    DataPacket p;
    p.fields = certificateFields();
    const QFileInfoList files = dir.entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
    for (const QFileInfo &fi : files) {
        QFile f(fi.filePath());
        if (fi.size() > 1024 * 1024 || !f.open(QIODevice::ReadOnly))
            continue; // not a certificate
        appendCertificates(p, f.readAll());
    }
    return p;
}
