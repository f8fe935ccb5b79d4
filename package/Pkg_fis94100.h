#pragma once

#include <QString>
#include <QVariant>

class TfrmParamGNRE;

// The module's exports: its entry, the screen factory and the four module variables.
extern "C" {
Q_DECL_EXPORT extern TfrmParamGNRE *frmParamGNRE;
Q_DECL_EXPORT extern bool boIdCriado;
Q_DECL_EXPORT extern QString stTpGuia;
Q_DECL_EXPORT extern QString stCdEmpresa;

// Params: Null, or a list whose element 0 is the guide type and element 1 the company text.
Q_DECL_EXPORT void IniProc(const QVariant &Params);
Q_DECL_EXPORT void CriaParamGNRE(const QString &tpGuia, const QString &empresa);

// Package start-up and shutdown: the units' initializations and finalizations.
Q_DECL_EXPORT void Initialize();
Q_DECL_EXPORT void Finalize();
Q_DECL_EXPORT const char *const *GetPackageInfoTable();
}
