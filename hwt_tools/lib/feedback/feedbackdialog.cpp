#include "feedbackdialog.h"

#include "networkreply.h"
#include "organization.h"
#include "reporter.h"
#include "systeminquiry.h"
#include "weburl.h"
#include "xmldocumentwriter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
// The service answers with a short word; anything longer is not an answer.
const qint64 maximumAnswerSize = 64 * 1024;

QPlainTextEdit* textEdit(const QString& objectName, QWidget* parent)
{
    auto* edit = new QPlainTextEdit(parent);
    edit->setObjectName(objectName);
    edit->setTabChangesFocus(true);
    return edit;
}

QLineEdit* lineEdit(const QString& objectName, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(objectName);
    return edit;
}

QLabel* label(const QString& text, QWidget* buddy, QWidget* parent)
{
    auto* result = new QLabel(text, parent);
    result->setWordWrap(true);
    result->setBuddy(buddy);
    return result;
}
}

FeedbackDialog::FeedbackDialog(QWidget* parent, const QVariantMap& additionalData, const QString& crashLog)
    : QDialog(parent)
    , m_additionalData(additionalData)
    , m_crashLog(crashLog)
    , m_serviceUrl(defaultServiceUrl())
    , m_manager(new QNetworkAccessManager(this))
{
    auto* layout = new QVBoxLayout(this);
    if (m_crashLog.isEmpty()) {
        setWindowTitle(tr("Send Feedback"));
        m_tabs = new QTabWidget(this);
        m_tabs->setObjectName(QStringLiteral("tabWidget"));
        m_tabs->addTab(createSupportPage(), tr("Support Question"));
        m_tabs->addTab(createFeaturePage(), tr("Feature Request"));
        m_tabs->addTab(createBugPage(), tr("Bug Report"));
        layout->addWidget(m_tabs, 1);
    } else {
        setWindowTitle(tr("Crash Report"));
        layout->addWidget(createCrashPage(), 1);
    }

    m_includeEmail = new QCheckBox(tr("Include my email address"), this);
    m_includeEmail->setObjectName(QStringLiteral("includeEmail"));
    m_includeEmail->setChecked(true);
    m_email = new QComboBox(this);
    m_email->setObjectName(QStringLiteral("email"));
    m_email->setEditable(true);
    m_email->addItems(SystemInquiry::instance().mailAddresses());
    m_email->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(m_includeEmail, &QCheckBox::toggled, m_email, &QWidget::setEnabled);
    auto* mailRow = new QHBoxLayout;
    mailRow->addWidget(m_includeEmail);
    mailRow->addWidget(m_email, 1);
    layout->addLayout(mailRow);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_buttons->setObjectName(QStringLiteral("buttonBox"));
    connect(m_buttons, &QDialogButtonBox::accepted, this, &FeedbackDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &FeedbackDialog::reject);
    layout->addWidget(m_buttons);
    resize(560, 460);
}

FeedbackDialog::~FeedbackDialog()
{
    dropReply();
}

QUrl FeedbackDialog::defaultServiceUrl()
{
    return QUrl(QString::fromLatin1(Organization::feedbackHost) + QStringLiteral("/helper/feedback.php"));
}

QWidget* FeedbackDialog::createSupportPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("supportPage"));
    m_supportTopic = lineEdit(QStringLiteral("supportTopic"), page);
    m_supportQuestion = textEdit(QStringLiteral("supportQuestion"), page);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(label(tr("Topic:"), m_supportTopic, page));
    layout->addWidget(m_supportTopic);
    layout->addWidget(label(tr("Your question:"), m_supportQuestion, page));
    layout->addWidget(m_supportQuestion, 1);
    return page;
}

QWidget* FeedbackDialog::createFeaturePage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("featurePage"));
    m_featureRequest = textEdit(QStringLiteral("featureRequest"), page);
    m_featureUrgency = new QComboBox(page);
    m_featureUrgency->setObjectName(QStringLiteral("featureUrgency"));
    m_featureUrgency->addItems({tr("Nice to have"), tr("Very important"), tr("Deal breaker")});
    m_featureTopic = lineEdit(QStringLiteral("featureTopic"), page);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(label(tr("Topic:"), m_featureTopic, page));
    layout->addWidget(m_featureTopic);
    layout->addWidget(label(tr("What feature would you like to see added or improved?"), m_featureRequest, page));
    layout->addWidget(m_featureRequest, 1);
    layout->addWidget(label(tr("How important is this to you?"), m_featureUrgency, page));
    layout->addWidget(m_featureUrgency);
    return page;
}

QWidget* FeedbackDialog::createBugPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("bugPage"));
    m_bugExpected = textEdit(QStringLiteral("bugExpected"), page);
    m_bugReproduce = textEdit(QStringLiteral("bugReproduce"), page);
    m_bugCritical = new QCheckBox(tr("This is a critical bug"), page);
    m_bugCritical->setObjectName(QStringLiteral("bugCritical"));
    m_bugTopic = lineEdit(QStringLiteral("bugTopic"), page);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(label(tr("Topic:"), m_bugTopic, page));
    layout->addWidget(m_bugTopic);
    layout->addWidget(label(tr("What did you expect to happen? What happened instead?"), m_bugExpected, page));
    layout->addWidget(m_bugExpected, 1);
    layout->addWidget(label(tr("What steps will reproduce this problem?"), m_bugReproduce, page));
    layout->addWidget(m_bugReproduce, 1);
    layout->addWidget(m_bugCritical);
    return page;
}

QWidget* FeedbackDialog::createCrashPage()
{
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("crashPage"));
    m_crashDescription = textEdit(QStringLiteral("crashDescription"), page);
    m_crashReproduce = textEdit(QStringLiteral("crashReproduce"), page);
    m_crashLogEdit = textEdit(QStringLiteral("crashLog"), page);
    m_crashLogEdit->setPlainText(m_crashLog);
    m_crashLogEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label(tr("Seems like %1 crashed. Please describe what you did just before the crash.")
                                .arg(QCoreApplication::applicationName()),
                            m_crashDescription, page));
    layout->addWidget(m_crashDescription, 1);
    layout->addWidget(label(tr("What steps will reproduce the problem? (optional)"), m_crashReproduce, page));
    layout->addWidget(m_crashReproduce, 1);
    layout->addWidget(label(tr("The text below is application's crash log, please leave it unchanged to help us "
                               "determine possible cause!"),
                            m_crashLogEdit, page));
    layout->addWidget(m_crashLogEdit, 2);
    return page;
}

FeedbackDialog::Page FeedbackDialog::currentPage() const
{
    return m_tabs ? Page(m_tabs->currentIndex()) : CrashPage;
}

QByteArray FeedbackDialog::feedbackDocument() const
{
    const SystemInquiry& system = SystemInquiry::instance();
    QByteArray document;
    XmlDocumentWriter writer(&document, QStringLiteral("feedback"), {{QStringLiteral("version"), QStringLiteral("1.0")}});
    writer.textElement(QStringLiteral("os"), QStringLiteral("%1 %2").arg(system.osName(), system.osVersion()));
    // An unchecked box keeps the address to the user; the element stays, empty.
    writer.textElement(QStringLiteral("mail"), m_includeEmail->isChecked() ? m_email->currentText() : QString());
    writer.textElement(QStringLiteral("appName"), QCoreApplication::applicationName());
    writer.textElement(QStringLiteral("appVersion"), QCoreApplication::applicationVersion());
    writer.startElement(QStringLiteral("additional"));
    for (auto it = m_additionalData.cbegin(); it != m_additionalData.cend(); ++it) {
        writer.textElement(QStringLiteral("key"), it.key());
        writer.writeValue(QStringLiteral("value"), it.value());
    }
    writer.endElement();

    switch (currentPage()) {
    case SupportPage:
        writer.textElement(QStringLiteral("type"), QStringLiteral("question"));
        writer.startElement(QStringLiteral("support"));
        writer.textElement(QStringLiteral("question"), m_supportQuestion->toPlainText());
        writer.textElement(QStringLiteral("topic"), m_supportTopic->text());
        writer.endElement();
        break;
    case FeaturePage:
        writer.textElement(QStringLiteral("type"), QStringLiteral("feature"));
        writer.startElement(QStringLiteral("feature"));
        writer.textElement(QStringLiteral("request"), m_featureRequest->toPlainText());
        writer.textElement(QStringLiteral("urgency"), m_featureUrgency->currentText());
        writer.textElement(QStringLiteral("topic"), m_featureTopic->text());
        writer.endElement();
        break;
    case BugPage:
        writer.textElement(QStringLiteral("type"), QStringLiteral("bug"));
        writer.startElement(QStringLiteral("bug"));
        writer.textElement(QStringLiteral("expected"), m_bugExpected->toPlainText());
        writer.textElement(QStringLiteral("reproduce"), m_bugReproduce->toPlainText());
        writer.textElement(QStringLiteral("critical"),
                           m_bugCritical->isChecked() ? QStringLiteral("yes") : QStringLiteral("no"));
        writer.textElement(QStringLiteral("topic"), m_bugTopic->text());
        writer.endElement();
        break;
    case CrashPage:
        writer.textElement(QStringLiteral("type"), QStringLiteral("crash"));
        writer.startElement(QStringLiteral("crash"));
        writer.textElement(QStringLiteral("description"), m_crashDescription->toPlainText());
        writer.textElement(QStringLiteral("reproduce"), m_crashReproduce->toPlainText());
        writer.textElement(QStringLiteral("log"), m_crashLogEdit->toPlainText());
        writer.endElement();
        break;
    }
    writer.finish();
    return document;
}

void FeedbackDialog::accept()
{
    m_redirects = 0;
    sendFeedback(m_serviceUrl);
}

void FeedbackDialog::sendFeedback(const QUrl& url)
{
    post(url);
}

void FeedbackDialog::post(const QUrl& url)
{
    dropReply();
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("text/xml"));
    request.setTransferTimeout(m_timeoutMs);
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
    m_reply = m_manager->post(request, feedbackDocument());
    connect(m_reply, &QNetworkReply::finished, this, [this]() {
        if (m_reply)
            replyFinished(m_reply);
    });
    connect(m_reply, &QNetworkReply::errorOccurred, this, &FeedbackDialog::error);
}

void FeedbackDialog::replyFinished(QNetworkReply* reply)
{
    if (reply != m_reply)
        return;
    // A failed reply has been reported by error() already.
    if (reply->error() != QNetworkReply::NoError)
        return;
    const QVariant target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute);
    if (target.isValid()) {
        const QUrl next = reply->url().resolved(target.toUrl());
        if (++m_redirects > maximumRedirects || !isWebUrl(next)) {
            fail(tr("Too many redirects at %1").arg(next.toDisplayString()));
            return;
        }
        sendFeedback(next);
        return;
    }
    const QString answer = QString::fromUtf8(reply->read(maximumAnswerSize)).trimmed();
    dropReply();
    if (answer != QLatin1String("OK")) {
        fail(answer.isEmpty() ? tr("The feedback service gave no answer.")
                              : tr("The feedback service answered: %1").arg(answer.left(200)));
        return;
    }
    m_redirects = 0;
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(true);
    Reporter::current().report(Reporter::Information, tr("Feedback successfully sent"),
                               tr("Thanks for sending feedback!"), this);
    emit sendingFinished(true);
    QDialog::accept();
}

void FeedbackDialog::error(QNetworkReply::NetworkError)
{
    if (!m_reply)
        return;
    const QString text = m_reply->errorString();
    dropReply();
    fail(text);
}

void FeedbackDialog::fail(const QString& text)
{
    dropReply();
    m_redirects = 0;
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(true);
    Reporter::current().report(Reporter::Critical, tr("Sending message failed"), text, this);
    emit sendingFinished(false);
}

void FeedbackDialog::dropReply()
{
    discardReply(m_reply, this);
}
