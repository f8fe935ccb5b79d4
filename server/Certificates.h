#pragma once

#include "DataPacket.h"

#include <QByteArray>
#include <QString>

// The digital certificates installed on the server: the X.509 files (PEM or
// DER) of one directory. Throws rt::Exception when the directory cannot be read.
rt::DataPacket readCertificates(const QString &directory);
// The certificates in the contents of one such file (one or more PEM, or one
// DER), in the packet readCertificates answers; no rows when there are none.
rt::DataPacket readCertificateFile(const QByteArray &contents);
