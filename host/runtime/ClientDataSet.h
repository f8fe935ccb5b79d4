#pragma once

#include "DataPacket.h"

#include <QString>
#include <QVariant>
#include <QVector>
#include <functional>
#include <memory>
#include <vector>

namespace rt {

class TClientDataSet;
class TDataSource;

enum class DataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// A persistent field of a client dataset: its declaration and access to the
// value of the dataset's current record.
class TField
{
public:
    using GetTextHandler = std::function<void(TField &sender, QString &text, bool displayText)>;
    using SetTextHandler = std::function<void(TField &sender, const QString &text)>;

    TField(TClientDataSet *dataSet, int index, const QString &name, FieldType type, int size);

    // Declaration
    QString FieldName;
    FieldType DataType;
    int Size;
    QString DisplayLabel;
    int DisplayWidth = 0; // 0: derived from the size
    bool ReadOnly = false;
    QString EditFormat;
    QString EditMask;
    int Tag = 0;
    GetTextHandler OnGetText;
    SetTextHandler OnSetText;

    bool Visible() const { return m_visible; }
    void setVisible(bool visible);
    QString displayName() const { return DisplayLabel.isEmpty() ? FieldName : DisplayLabel; }
    int displayWidth() const;

    // Value of the current record
    QVariant Value() const;
    void setValue(const QVariant &value);
    bool IsNull() const;
    void Clear() { setValue(QVariant()); }
    QString AsString() const;
    void setAsString(const QString &value);
    double AsFloat() const;
    void setAsFloat(double value);
    int AsInteger() const; // throws when the text is no whole number

    // Text as shown (displayText true) or as edited, through OnGetText when assigned.
    QString Text() const { return textFor(false); }
    QString DisplayText() const { return textFor(true); }
    QString textFor(bool displayText) const;
    // Stores a text through OnSetText when assigned, converting it otherwise.
    void setText(const QString &text);

    bool isValidChar(QChar c) const;
    void FocusControl();

    TClientDataSet *DataSet() const { return m_dataSet; }
    int index() const { return m_index; }

private:
    QString defaultText(bool displayText) const;

    TClientDataSet *m_dataSet;
    int m_index;
    bool m_visible = true;
};

// A dataset that holds its records in memory, keeps a log of the changes made
// since they were loaded or merged, and exchanges both as data packets.
class TClientDataSet
{
public:
    using Event = std::function<void(TClientDataSet &)>;

    explicit TClientDataSet(const QString &name = QString());
    ~TClientDataSet();
    TClientDataSet(const TClientDataSet &) = delete;
    TClientDataSet &operator=(const TClientDataSet &) = delete;

    QString Name;
    int Tag = 0;

    Event OnNewRecord, AfterInsert, BeforePost, AfterPost, AfterCancel, AfterOpen, AfterDelete, AfterScroll;

    // Field declarations
    TField *addField(const QString &name, FieldType type, int size = 0);
    TField *FieldByName(const QString &name) const; // throws when absent
    TField *FindField(const QString &name) const;
    int fieldCount() const { return int(m_fields.size()); }
    TField *field(int index) const { return m_fields.at(size_t(index)).get(); }
    QVector<FieldDef> fieldDefs() const;

    // Contents
    void SetData(const DataPacket &packet);
    DataPacket Data() const; // the current records as a packet
    void Close();
    bool Active() const { return m_state != DataSetState::dsInactive; }
    DataSetState State() const { return m_state; }
    bool editing() const { return m_state == DataSetState::dsEdit || m_state == DataSetState::dsInsert; }

    void Insert();
    void Append();
    void Edit();
    void Post();
    void Cancel();
    void Delete();
    bool Modified() const { return m_modified; }

    // Navigation; a pending edit is settled first
    void First();
    void Last();
    void Next();
    void Prior();
    void setRecNo(int recNo); // 1-based
    int RecNo() const { return m_current + 1; }
    int RecordCount() const { return int(m_rows.size()); }
    bool IsEmpty() const { return m_rows.empty(); }
    bool Eof() const { return m_eof; }
    bool Bof() const { return m_bof; }

    // Change log
    int GetChangeCount() const;
    Delta GetDelta() const;
    bool GetLogChanges() const { return m_logChanges; }
    void SetLogChanges(bool on) { m_logChanges = on; }
    void MergeChangeLog();
    void CancelUpdates();

    // Data sources and the controls behind them
    void attach(TDataSource *source);
    void detach(TDataSource *source);
    const QVector<TDataSource *> &dataSources() const { return m_sources; }
    // Lets every bound control write the text it holds into its field.
    void updateControls();
    void notifyLayoutChanged();

    // Values of a record other than the current one, for drawing a grid row.
    QVariant valueAt(int row, int fieldIndex) const;
    QString displayTextAt(int row, int fieldIndex) const;
    // Runs code with the fields reading another record (the row a grid draws).
    void withRecord(int row, const std::function<void()> &code) const;

    // Used by TField
    QVariant currentValue(int fieldIndex) const;
    void writeField(int fieldIndex, const QVariant &value);
    void focusField(TField *field);

private:
    struct Record
    {
        quint64 id = 0;
        Row values;
        enum Status { Unchanged, Inserted, Modified } status = Unchanged;
    };

    void requireActive() const;
    void settle();
    void moveTo(int index);
    void setState(DataSetState state);
    void notifyData(TField *field);
    Row emptyRow() const;
    void insertAt(int position);
    const Record *baseRecord(quint64 id) const;
    Record::Status statusAgainstBase(const Record &r) const;

    std::vector<std::unique_ptr<TField>> m_fields;
    QVector<TDataSource *> m_sources;
    DataSetState m_state = DataSetState::dsInactive;

    std::vector<Record> m_rows; // current content, in display order
    std::vector<Record> m_base; // content as loaded or last merged
    std::vector<Record> m_deleted; // base records deleted since
    int m_current = -1;
    bool m_bof = true, m_eof = true;
    quint64 m_nextId = 1;
    bool m_logChanges = true;

    Row m_buffer; // the record being edited or inserted
    bool m_modified = false;
    bool m_inNewRecord = false;
    int m_peekRow = -1; // row read by valueAt/displayTextAt while drawing
};

// Control side of a data source: the interface a data-aware control implements.
class TDataLink
{
public:
    virtual ~TDataLink();
    virtual void stateChanged() {}
    virtual void dataChanged(TField *field) { Q_UNUSED(field); } // null: the whole record or content
    virtual void updateData() {}
    virtual bool focusField(TField *field) { Q_UNUSED(field); return false; }
    virtual void layoutChanged() {}

    TDataSource *dataSource() const { return m_source; }
    void setDataSource(TDataSource *source);

private:
    TDataSource *m_source = nullptr;
};

// Binds one dataset; tells its controls and handlers of state and data changes.
class TDataSource
{
public:
    explicit TDataSource(const QString &name = QString(), TClientDataSet *dataSet = nullptr);
    ~TDataSource();
    TDataSource(const TDataSource &) = delete;
    TDataSource &operator=(const TDataSource &) = delete;

    QString Name;
    bool AutoEdit = true;
    std::function<void(TDataSource &)> OnStateChange;
    std::function<void(TDataSource &, TField *)> OnDataChange;

    TClientDataSet *DataSet() const { return m_dataSet; }
    void setDataSet(TClientDataSet *dataSet);
    // The dataset is being destroyed: let go of it without telling anyone.
    void forgetDataSet();
    DataSetState State() const { return m_dataSet ? m_dataSet->State() : DataSetState::dsInactive; }

    // Extra listeners (framework and screen code that follow a data source)
    int addStateListener(std::function<void()> listener);

    // Called by the dataset
    void notifyState();
    void notifyData(TField *field);
    void notifyUpdateData();
    bool notifyFocus(TField *field);
    void notifyLayout();

    void addLink(TDataLink *link);
    void removeLink(TDataLink *link);

private:
    TClientDataSet *m_dataSet = nullptr;
    QVector<TDataLink *> m_links;
    QVector<std::function<void()>> m_stateListeners;
};

QString stateName(DataSetState state);
// The decimal separator the runtime reads and writes float values with.
QChar decimalSeparator();

} // namespace rt
