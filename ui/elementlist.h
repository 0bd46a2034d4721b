#pragma once

#include <QModelIndex>
#include <QPointer>
#include <QWidget>

#include "element.h"

class ElementListModel;
class NameFilterProxyModel;
class QLineEdit;
class QListView;
class QToolButton;

// The body list of a document window: a filter line, the bodies sorted by name,
// and buttons to add sprites as bodies, clone and delete the selected body. Its
// selection decides which body the editor and the other panels show.
class ElementList : public QWidget
{
    Q_OBJECT
public:
    explicit ElementList(QWidget* parent = nullptr);
    ~ElementList() override;

    void setModel(ElementListModel* document);
    // The body of the view's current row, or null.
    Element* currentElement() const;

signals:
    void didSelectElement(Element* body);

public slots:
    void redisplayElement(Element* body);
    void currentChanged(const QModelIndex& current, const QModelIndex& previous);
    void on_openSprite_clicked();

private slots:
    void on_filterLineEdit_textChanged(const QString& text);
    void on_elementList_clicked(const QModelIndex& index);
    void on_cloneElement_clicked();
    void on_deleteElement_clicked();
    void on_elementList_activated(const QModelIndex& index);

private:
    Element* elementAt(const QModelIndex& proxyIndex) const;
    void announce(Element* body);
    void retranslate();
    void changeEvent(QEvent* event) override;

    QLineEdit* m_filter = nullptr;
    QListView* m_list = nullptr;
    QToolButton* m_clone = nullptr;
    QToolButton* m_open = nullptr;
    QToolButton* m_delete = nullptr;
    NameFilterProxyModel* m_proxy = nullptr;
    ElementListModel* m_document = nullptr;
    // Set while the program moves the selection itself, which announces the
    // body once rather than again through the selection model.
    bool m_selectingProgrammatically = false;
    QPointer<Element> m_announced;
};
