#include "Orvella/UI/Presentation/QtPasteboard.hpp"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace Orvella {

void QtPasteboard::clearContents()
{
    m_urls.clear();
    m_text.reset();
    QGuiApplication::clipboard()->clear();
}

void QtPasteboard::writeURL(const Platform::URL& url)
{
    m_urls.append(QUrl(QString::fromStdString(url.absoluteString())));
    publish();
}

void QtPasteboard::setString(const std::string& text)
{
    m_text = QString::fromStdString(text);
    publish();
}

void QtPasteboard::publish()
{
    auto* data = new QMimeData;
    if (!m_urls.isEmpty()) {
        data->setUrls(m_urls);
    }
    if (m_text) {
        data->setText(*m_text);
    }
    QGuiApplication::clipboard()->setMimeData(data);
}

} // namespace Orvella
