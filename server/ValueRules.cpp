#include "ValueRules.h"

#include "StoreSupport.h"

#include <cmath>

using rt::FieldDef;

namespace store {

Check oneOf(const QStringList &codes)
{
    return [codes](const QVariant &v, const QString &field) {
        const QString s = v.toString();
        if (!s.isEmpty() && !codes.contains(s))
            refuse(QStringLiteral("Valor '%1' inválido no campo %2: esperado %3.").arg(s, field, codes.join(QStringLiteral(", "))));
    };
}

Check flag() { return oneOf({QStringLiteral("S"), QStringLiteral("N")}); }

Check wholeIn(int low, int high)
{
    return [low, high](const QVariant &v, const QString &field) {
        const QString s = v.toString();
        if (s.isEmpty())
            return;
        bool ok = false;
        const int n = s.trimmed().toInt(&ok);
        if (!ok || n < low || n > high)
            refuse(QStringLiteral("Valor '%1' inválido no campo %2: esperado um número de %3 a %4.").arg(s, field).arg(low).arg(high));
    };
}

Check numberIn(double low, double high)
{
    return [low, high](const QVariant &v, const QString &field) {
        if (v.isNull() || !v.isValid())
            return;
        const double d = v.toDouble();
        if (!std::isfinite(d) || d < low || d > high)
            refuse(QStringLiteral("Valor %1 inválido no campo %2: esperado de %3 a %4.").arg(d).arg(field).arg(low).arg(high));
    };
}

// The packet field of that name; a column the packet lacks is a programming error.
static int packetIndex(const TableRules &t, const QString &column)
{
    for (int i = 0; i < t.packetFields.size(); ++i)
        if (t.packetFields.at(i).name == column)
            return i;
    qFatal("%s: column %s is not a field of its packet", qPrintable(t.name), qPrintable(column));
}

void TableRules::finish()
{
    for (const QString &c : stored) {
        const int at = packetIndex(*this, c);
        const rt::FieldType type = packetFields.at(at).type;
        storedPacket.append(at);
        storedType.append(type);
        newParam.append(QStringLiteral(":v_") + c);
        oldParam.append(QStringLiteral(":o_") + c);
        assignNew.append(c + QStringLiteral(" = :v_") + c);
        equalsOld.append(QStringLiteral(" AND %1 = :o_%1").arg(c));
        emptyOld.append(type == rt::FieldType::String ? QStringLiteral(" AND (%1 IS NULL OR %1 = '')").arg(c)
                                                      : QStringLiteral(" AND %1 IS NULL").arg(c));
    }
    for (const FieldDef &f : packetFields) {
        packetStored.append(stored.contains(f.name));
        const auto check = checks.constFind(f.name);
        packetCheck.append(check == checks.constEnd() ? nullptr : &*check);
    }
    for (const QString &k : key) {
        keyPacket.append(packetIndex(*this, k));
        keyParam.append(QStringLiteral(":k_") + k);
        where += (where.isEmpty() ? QStringLiteral(" WHERE ") : QStringLiteral(" AND ")) + k + QStringLiteral(" = :k_") + k;
    }
}

const TableRules &geralTable()
{
    static const TableRules table = [] {
        TableRules t;
        t.name = QStringLiteral("PARAMGNRE");
        t.label = QStringLiteral("parâmetros gerais da empresa %1");
        t.labelKeys = {QStringLiteral("CDEMPRESA")};
        t.packetFields = paramGeralFields();
        t.stored = QStringList{"CDEMPRESA", "IDGERALOGGNRE", "CDLIVROMAG", "NRDIASCALCDTPAG", "CDFILIAL",
                               "IDCALENDPAGGNRE", "DSEMAILRETORNO", "CDPRODUTODEB", "CDNATUQUALIF", "VRALIQFECP",
                               "CDPRODUTOGON", "IDGERACONTAPAG", "IDENTRSAIDPAG", "CDTPOPERPAG"};
        t.key = {QStringLiteral("CDEMPRESA")};
        t.checks.insert("IDGERALOGGNRE", flag());
        t.checks.insert("IDGERACONTAPAG", flag());
        t.checks.insert("IDCALENDPAGGNRE", oneOf({"F", "C", "B"}));
        t.checks.insert("CDPRODUTODEB", wholeIn(1, 12));
        t.checks.insert("CDNATUQUALIF", wholeIn(1, 5));
        t.checks.insert("IDENTRSAIDPAG", oneOf({"E"}));
        t.checks.insert("NRDIASCALCDTPAG", numberIn(0, 99));
        t.checks.insert("VRALIQFECP", numberIn(0, 100));
        t.finish();
        return t;
    }();
    return table;
}

const TableRules &inscrTable()
{
    static const TableRules table = [] {
        TableRules t;
        t.name = QStringLiteral("PARAMGNREINSCR");
        t.label = QStringLiteral("parâmetros da inscrição %1 da empresa %2");
        t.labelKeys = {QStringLiteral("CDINSCESTA"), QStringLiteral("CDEMPRESA")};
        t.packetFields = paramInscrFields();
        for (const FieldDef &f : t.packetFields)
            t.stored.append(f.name);
        t.key = {QStringLiteral("CDEMPRESA"), QStringLiteral("IDTPGUIA"), QStringLiteral("CDINSCESTA")};
        t.checks.insert("IDTPAMBIENTE", oneOf({"H", "P"}));
        t.checks.insert("IDPERIODOREFAPU", oneOf({"I", "D", "Q", "M"}));
        t.checks.insert("IDCALCSTMANUAL", flag());
        t.checks.insert("IDFCPSEPIMP", flag());
        t.finish();
        return t;
    }();
    return table;
}

} // namespace store
