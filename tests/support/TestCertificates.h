#pragma once

#include "ClientDataSet.h"
#include "DataPacket.h"
#include "ServerProcess.h"

#include <QDate>
#include <QFile>
#include <QTemporaryDir>

// A self-signed X.509 certificate with a given serial and last day of validity
// (valid until 12:00 UTC of that day, from 2024 on), written as PEM to `path`:
// a certificate installed on the service. Returns what went wrong, empty when
// it was written. (openssl ca, because req -x509 only counts days from now.)
inline QString installCertificate(const QString &path, const QString &commonName, const QString &serialHex,
                                  const QDate &lastDay)
{
    QTemporaryDir work;
    if (!work.isValid())
        return QStringLiteral("no temporary directory");
    const QString dir = work.path();
    const QByteArray d = dir.toUtf8();
    const QByteArray config = "[ca]\ndefault_ca = cert\n[cert]\ndatabase = " + d + "/index.txt\nnew_certs_dir = " + d
                              + "\nserial = " + d + "/serial\ndefault_md = sha256\npolicy = any\nunique_subject = no\n"
                              "[any]\ncommonName = supplied\n";
    if (!writeFile(dir + "/ca.cnf", config) || !writeFile(dir + "/index.txt", {})
        || !writeFile(dir + "/serial", serialHex.toLatin1() + "\n"))
        return QStringLiteral("cannot write in %1").arg(dir);
    ProgramRun r = runProgram(QStringLiteral("openssl"), {"req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", dir + "/k.pem",
                                                          "-out", dir + "/r.csr", "-subj", "/CN=" + commonName, "-utf8"});
    if (r.code != 0)
        return QStringLiteral("openssl req: ") + r.out;
    r = runProgram(QStringLiteral("openssl"),
                   {"ca", "-batch", "-config", dir + "/ca.cnf", "-selfsign", "-keyfile", dir + "/k.pem", "-in", dir + "/r.csr",
                    "-out", dir + "/c.pem", "-notext", "-startdate", "20240101000000Z", "-enddate",
                    lastDay.toString("yyyyMMdd") + "120000Z", "-utf8"});
    if (r.code != 0)
        return QStringLiteral("openssl ca: ") + r.out;
    QFile::remove(path);
    return QFile::copy(dir + "/c.pem", path) ? QString() : QStringLiteral("cannot copy to %1").arg(path);
}

// Gives registrations of a company and guide type certificates through the
// service, adding the registrations that have no parameters yet. Each row:
// registration, state, serial.
inline bool setRegistrationCertificates(ServerProcess &server, const QString &company, const QString &guide,
                                        const QList<QStringList> &rows)
{
    const jsonrpc::Reply loaded = server.call("GetParamInscr", {company, guide});
    if (!loaded.ok)
        return false;
    const rt::DataPacket p = rt::DataPacket::fromJson(loaded.result);
    rt::TClientDataSet ds("cdsParamInscr");
    for (const rt::FieldDef &fd : p.fields)
        ds.addField(fd.name, fd.type, fd.size);
    ds.SetData(p);
    for (const QStringList &row : rows) {
        int at = -1;
        for (int r = 0; r < ds.RecordCount(); ++r)
            if (ds.displayTextAt(r, ds.FieldByName("CDINSCESTA")->index()) == row.at(0))
                at = r;
        if (at >= 0) {
            ds.setRecNo(at + 1);
            ds.Edit();
        } else {
            ds.Append();
            for (auto [field, v] : {std::pair<const char *, QString>{"CDEMPRESA", company}, {"CDINSCESTA", row.at(0)},
                                    {"SGESTADO", row.at(1)}, {"IDTPGUIA", guide}, {"IDTPAMBIENTE", "P"},
                                    {"IDPERIODOREFAPU", "I"}, {"IDCALCSTMANUAL", "N"}, {"IDFCPSEPIMP", "N"}})
                ds.FieldByName(field)->setAsString(v);
        }
        ds.FieldByName("NRCERTIFICDIG")->setAsString(row.at(2));
        ds.Post();
    }
    const jsonrpc::Reply saved = server.call("SetParamInscr", {ds.GetDelta().toJson()});
    if (!saved.ok)
        qWarning("%s", qPrintable(saved.message));
    return saved.ok;
}
