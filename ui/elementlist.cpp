#include "elementlist.h"

#include "element.h"
#include "elementlistmodel.h"
#include "gsettings.h"
#include "namefilterproxymodel.h"

#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {
const char lastImportKey[] = "main/lastImportFileName";

QToolButton* makeButton(const char* objectName, const char* icon, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(objectName));
    button->setIcon(QIcon(QLatin1String(icon)));
    return button;
}
}

ElementList::ElementList(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ElementList"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("filterLineEdit"));
    m_filter->setClearButtonEnabled(true);
    layout->addWidget(m_filter);

    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("elementList"));
    m_list->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    m_list->setAcceptDrops(true);
    m_list->viewport()->setAcceptDrops(true);
    m_list->setDragEnabled(true);
    m_list->setDragDropMode(QAbstractItemView::DragDrop);
    m_list->setDefaultDropAction(Qt::TargetMoveAction);
    m_list->setDropIndicatorShown(true);
    m_list->setAlternatingRowColors(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setMovement(QListView::Snap);
    m_list->setViewMode(QListView::ListMode);
    m_list->setSelectionRectVisible(true);
    m_list->setUniformItemSizes(true);
    layout->addWidget(m_list);

    auto* buttons = new QHBoxLayout;
    m_clone = makeButton("cloneElement", ":/16x16/page_copy.png", this);
    m_open = makeButton("openSprite", ":/16x16/picture_add.png", this);
    m_delete = makeButton("deleteElement", ":/16x16/bin.png", this);
    buttons->addWidget(m_clone);
    buttons->addWidget(m_open);
    buttons->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    buttons->addWidget(m_delete);
    layout->addLayout(buttons);

    m_proxy = new NameFilterProxyModel(this);
    m_list->setModel(m_proxy);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, this, &ElementList::currentChanged);

    retranslate();
    QMetaObject::connectSlotsByName(this);
}

ElementList::~ElementList() = default;

void ElementList::retranslate()
{
    setWindowTitle(tr("Form"));
    m_filter->setPlaceholderText(tr("filter"));
    m_clone->setToolTip(tr("Clone selected shape"));
    m_clone->setStatusTip(tr("Clone selected shape"));
    m_clone->setText(QString());
    m_open->setToolTip(tr("Add new image"));
    m_open->setStatusTip(tr("Add new image"));
    m_open->setText(tr("..."));
    m_delete->setToolTip(tr("Delete selected shape"));
    m_delete->setStatusTip(tr("Delete selected shape"));
    m_delete->setText(tr("Del"));
}

void ElementList::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

Element* ElementList::elementAt(const QModelIndex& proxyIndex) const
{
    if (!m_document || !proxyIndex.isValid() || proxyIndex.model() != m_proxy)
        return nullptr;
    const QModelIndex source = m_proxy->mapToSource(proxyIndex);
    QStandardItem* item = m_document->itemFromIndex(source);
    return item && item->type() == Element::Type ? static_cast<Element*>(item) : nullptr;
}

Element* ElementList::currentElement() const
{
    return elementAt(m_list->currentIndex());
}

void ElementList::setModel(ElementListModel* document)
{
    m_filter->clear();
    m_document = document;
    m_selectingProgrammatically = true;
    m_proxy->setSourceModel(document);
    m_selectingProgrammatically = false;
    const QModelIndex first = m_proxy->index(0, 0);
    Element* body = elementAt(first);
    announce(body);
    m_selectingProgrammatically = true;
    m_list->selectionModel()->setCurrentIndex(first, QItemSelectionModel::ClearAndSelect);
    m_selectingProgrammatically = false;
}

void ElementList::redisplayElement(Element* body)
{
    if (!m_document)
        return;
    const QModelIndex proxyIndex = body ? m_proxy->mapFromSource(body->index()) : QModelIndex();
    m_selectingProgrammatically = true;
    m_list->selectionModel()->setCurrentIndex(proxyIndex, QItemSelectionModel::ClearAndSelect);
    m_selectingProgrammatically = false;
    announce(body);
}

void ElementList::currentChanged(const QModelIndex& current, const QModelIndex&)
{
    if (m_selectingProgrammatically)
        return;
    announce(elementAt(current));
}

void ElementList::on_elementList_clicked(const QModelIndex& index)
{
    // The press that made the row current has announced it already.
    Element* body = elementAt(index);
    if (body != m_announced)
        announce(body);
}

void ElementList::announce(Element* body)
{
    m_announced = body;
    emit didSelectElement(body);
}

void ElementList::on_elementList_activated(const QModelIndex&)
{
}

void ElementList::on_filterLineEdit_textChanged(const QString& text)
{
    m_proxy->setWildcardFilter(text);
}

void ElementList::on_openSprite_clicked()
{
    if (!m_document)
        return;
    const QString start = GSettings().value(QLatin1String(lastImportKey)).toString();
    const QStringList files =
        QFileDialog::getOpenFileNames(this, tr("Open Image"), start, tr("Image Files (*.png *.jpg *.bmp)"));
    if (files.isEmpty())
        return;
    GSettings().setValue(QLatin1String(lastImportKey), files.last());

    // Numbered files (walk_01.png, walk_02.png, ...) are usually the frames
    // of one animation: ask whether to make one body of each sequence.
    const QList<QStringList> groups = ElementListModel::frameSequences(files);
    const bool sequences = std::any_of(groups.begin(), groups.end(), [](const QStringList& group) {
        return group.size() > 1;
    });
    if (sequences) {
        QMessageBox ask(QMessageBox::Question, tr("Add Sprites"),
                        tr("Some of the files form numbered sequences. Add each sequence as one animated body with "
                           "those frames, or every file as a body of its own?"),
                        QMessageBox::NoButton, this);
        QPushButton* animated = ask.addButton(tr("One animated body"), QMessageBox::AcceptRole);
        ask.addButton(tr("Separate bodies"), QMessageBox::RejectRole);
        ask.setDefaultButton(animated);
        ask.exec();
        if (ask.clickedButton() == animated) {
            for (const QStringList& group : groups) {
                if (group.size() > 1)
                    m_document->addFrames(group);
                else
                    m_document->addFile(group.first());
            }
            return;
        }
    }
    for (const QString& file : files)
        m_document->addFile(file);
}

void ElementList::on_cloneElement_clicked()
{
    if (!m_document)
        return;
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    for (const QModelIndex& row : rows)
        m_document->cloneElement(m_proxy->mapToSource(row));
}

void ElementList::on_deleteElement_clicked()
{
    if (!m_document)
        return;
    QList<Element*> bodies;
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    for (const QModelIndex& row : rows) {
        if (Element* body = elementAt(row))
            bodies.append(body);
    }
    for (Element* body : bodies)
        m_document->deleteElement(body);
}
