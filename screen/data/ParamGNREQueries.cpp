// The lookup queries, each statement in the three dialects exactly as kept.
#include "Cli_fis94100.h"

void TfrmParamGNRE::declareQueries()
{
    qryInscricao.declareParam(QStringLiteral("P_CDEMPRESA"));
    qryInscricao.declareParam(QStringLiteral("P_CDINSCESTA"));
    qryInscricao.addField(QStringLiteral("CDINSCESTA"), 16, QStringLiteral("Inscrição Estadual"));
    qryInscricao.addField(QStringLiteral("SGESTADO"), 2, QStringLiteral("Estado"));
    qryInscricao.SQL_ORACLE = {
        "SELECT CDINSCESTA, SGESTADO",
        "  FROM INSCRESTAD",
        " WHERE CDEMPRESA  = :P_CDEMPRESA",
        "   AND CDINSCESTA = NVL(:P_CDINSCESTA, CDINSCESTA)",
        " ORDER BY CDINSCESTA"};
    qryInscricao.SQL_MSSQL = {
        "SELECT CDINSCESTA, SGESTADO",
        "  FROM INSCRESTAD",
        " WHERE CDEMPRESA  = :P_CDEMPRESA",
        "   AND CDINSCESTA = ISNULL(:P_CDINSCESTA, CDINSCESTA)",
        " ORDER BY CDINSCESTA"};
    qryInscricao.SQL_IB = {
        "SELECT CDINSCESTA, SGESTADO",
        "  FROM INSCRESTAD, PARAM(:P_CDEMPRESA) P_CDEMPRESA, PARAM(:P_CDINSCESTA) P_CDINSCESTA",
        " WHERE CDEMPRESA  = P_CDEMPRESA.PARAM",
        "   AND CDINSCESTA = NVLSTR(P_CDINSCESTA.PARAM, CDINSCESTA)",
        " ORDER BY CDINSCESTA"};

    qryFilial.declareParam(QStringLiteral("P_CDFILIAL"));
    qryFilial.addField(QStringLiteral("CDFILIAL"), 4, QStringLiteral("Código"));
    qryFilial.addField(QStringLiteral("NMFILIAL"), 30, QStringLiteral("Nome"));
    qryFilial.SQL_ORACLE = {
        "SELECT CDFILIAL, NMFILIAL",
        "  FROM FILIAL",
        " WHERE CDFILIAL = NVL(:P_CDFILIAL, CDFILIAL)",
        " order by CDFILIAL"};
    qryFilial.SQL_MSSQL = {
        "SELECT CDFILIAL, NMFILIAL",
        "  FROM FILIAL",
        " WHERE CDFILIAL = ISNULL(:P_CDFILIAL, CDFILIAL)",
        " order by CDFILIAL"};
    qryFilial.SQL_IB = {
        "SELECT CDFILIAL, NMFILIAL",
        "  FROM FILIAL, PARAM(:P_CDFILIAL) P_CDFILIAL",
        " WHERE CDFILIAL = NVLSTR(P_CDFILIAL.PARAM, CDFILIAL)",
        " ORDER BY CDFILIAL"};

    // The charge name's width is not set in its declaration: the string class default.
    qryEncargo.declareParam(QStringLiteral("P_CDENCARGO"));
    qryEncargo.addField(QStringLiteral("CDENCARGO"), 2, QStringLiteral("Código"));
    qryEncargo.addField(QStringLiteral("NMENCARGO"), 20, QStringLiteral("Nome"));
    qryEncargo.SQL_ORACLE = {
        "SELECT CDENCARGO, NMENCARGO",
        "  FROM ENCARGO",
        " WHERE CDENCARGO = NVL(:P_CDENCARGO, CDENCARGO)",
        " ORDER BY CDENCARGO"};
    qryEncargo.SQL_MSSQL = {
        "SELECT CDENCARGO, NMENCARGO",
        "  FROM ENCARGO",
        " WHERE CDENCARGO = ISNULL(:P_CDENCARGO, CDENCARGO)",
        " ORDER BY CDENCARGO"};
    qryEncargo.SQL_IB = {
        "SELECT CDENCARGO, NMENCARGO",
        "  FROM ENCARGO, PARAM(:P_CDENCARGO) P_CDENCARGO",
        " WHERE CDENCARGO = NVLSTR(P_CDENCARGO.PARAM, CDENCARGO)",
        " ORDER BY CDENCARGO"};

    qryTipoOperE.declareParam(QStringLiteral("CDTIPOOPER"));
    qryTipoOperE.addField(QStringLiteral("CDTIPOOPER"), 2, QStringLiteral("Código"));
    qryTipoOperE.addField(QStringLiteral("NMTIPOOPER"), 30, QStringLiteral("Nome"));
    qryTipoOperE.SQL_ORACLE = {
        "SELECT T.CDTIPOOPER, T.NMTIPOOPER",
        "  FROM TIPOOPERAC T",
        " WHERE T.IDENTRSAIDOP = 'E'",
        "   AND T.CDTIPOOPER   = NVL(:CDTIPOOPER, T.CDTIPOOPER)",
        " ORDER BY T.CDTIPOOPER "};
    qryTipoOperE.SQL_MSSQL = {
        "SELECT T.CDTIPOOPER, T.NMTIPOOPER",
        "  FROM TIPOOPERAC T",
        " WHERE T.IDENTRSAIDOP = 'E'",
        "   AND T.CDTIPOOPER   = ISNULL(:CDTIPOOPER, T.CDTIPOOPER)",
        " ORDER BY T.CDTIPOOPER"};
    qryTipoOperE.SQL_IB = {
        "SELECT T.CDTIPOOPER, T.NMTIPOOPER",
        "  FROM TIPOOPERAC T, PARAM(:CDTIPOOPER)  CDTIPOOPER",
        " WHERE T.IDENTRSAIDOP = 'E'",
        "   AND T.CDTIPOOPER   = NVLSTR(CDTIPOOPER.PARAM, T.CDTIPOOPER)",
        " ORDER BY T.CDTIPOOPER"};
}
