#pragma once

#include <QDialog>
#include <QNetworkReply>
#include <QUrl>
#include <QVariantMap>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLineEdit;
class QNetworkAccessManager;
class QPlainTextEdit;
class QTabWidget;

// Sends a support question, a feature request or a bug report, or (when a
// crash log is given) a crash report, as one XML document posted to the
// feedback service. The dialog stays open until the service confirms.
class FeedbackDialog final : public QDialog
{
    Q_OBJECT
public:
    enum Page { SupportPage = 0, FeaturePage = 1, BugPage = 2, CrashPage = 3 };

    static constexpr int defaultTimeoutMs = 30000;
    static constexpr int maximumRedirects = 5;

    FeedbackDialog(QWidget* parent, const QVariantMap& additionalData = {}, const QString& crashLog = {});
    ~FeedbackDialog() override;

    // The feedback service on our web server.
    static QUrl defaultServiceUrl();
    void setServiceUrl(const QUrl& url) { m_serviceUrl = url; }
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }

    Page currentPage() const;
    // The document sendFeedback() posts, built from the current form.
    QByteArray feedbackDocument() const;

public slots:
    // Posts the form to the service (the OK button).
    void accept() override;
    void sendFeedback(const QUrl& url);
    void replyFinished(QNetworkReply* reply);
    void error(QNetworkReply::NetworkError code);

signals:
    // The service's answer has been handled, whatever it was.
    void sendingFinished(bool success);

private:
    QWidget* createSupportPage();
    QWidget* createFeaturePage();
    QWidget* createBugPage();
    QWidget* createCrashPage();
    void post(const QUrl& url);
    void fail(const QString& text);
    void dropReply();

    QVariantMap m_additionalData;
    QString m_crashLog;
    QUrl m_serviceUrl;
    int m_timeoutMs = defaultTimeoutMs;
    int m_redirects = 0;
    QNetworkAccessManager* m_manager;
    QNetworkReply* m_reply = nullptr;

    QTabWidget* m_tabs = nullptr;
    QLineEdit* m_supportTopic = nullptr;
    QPlainTextEdit* m_supportQuestion = nullptr;
    QPlainTextEdit* m_featureRequest = nullptr;
    QComboBox* m_featureUrgency = nullptr;
    QLineEdit* m_featureTopic = nullptr;
    QPlainTextEdit* m_bugExpected = nullptr;
    QPlainTextEdit* m_bugReproduce = nullptr;
    QCheckBox* m_bugCritical = nullptr;
    QLineEdit* m_bugTopic = nullptr;
    QPlainTextEdit* m_crashDescription = nullptr;
    QPlainTextEdit* m_crashReproduce = nullptr;
    QPlainTextEdit* m_crashLogEdit = nullptr;
    QCheckBox* m_includeEmail;
    QComboBox* m_email;
    QDialogButtonBox* m_buttons;
};
