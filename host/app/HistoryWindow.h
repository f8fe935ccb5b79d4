#pragma once

#include "NetConnection.h"

#include <QDate>
#include <QWidget>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;

// "Histórico de alterações da GNRE": the changes the parameter service
// recorded for one company, newest first, filtered by period and guide type
// (asked of the service), by registration and by any text (here, as typed),
// with an export to CSV for spreadsheets.
class THistoricoGNRE : public QWidget
{
    Q_OBJECT

public:
    explicit THistoricoGNRE(QWidget *parent = nullptr);
    ~THistoricoGNRE() override;

    // Asks the service for the company's changes in the period again.
    void Carrega();
    // Writes the rows shown, in the order shown, to a CSV file (UTF-8 with a
    // BOM, ";" between fields, as Brazilian spreadsheets read it).
    void ExportaCSV(const QString &fileName) const;
    // Asks for a file through the dialog seam and exports to it.
    void Exporta();

    // The company chosen (its code).
    QString empresa() const;
    int linhasVisiveis() const;

private:
    void periodChanged();
    void fillModel(const QJsonValue &packet);
    void refilter();

    TNetConnection m_net{QStringLiteral("netHistorico")};
    QComboBox *m_company;
    QComboBox *m_guide;
    QDateEdit *m_from;
    QDateEdit *m_to;
    QComboBox *m_registration;
    QLineEdit *m_filter;
    QPushButton *m_reload;
    QPushButton *m_export;
    QTableView *m_view;
    QLabel *m_total;
    QStandardItemModel *m_model;
    class Filter;
    Filter *m_proxy;
    bool m_capped = false;
    QDate m_loadedFrom, m_loadedTo; // the period last asked of the service
};

namespace HostLists {
// The companies of the host's database, as "code - name".
QStringList empresas();
// The guide types the host knows.
QStringList tiposGuia();
} // namespace HostLists
