#include "platform/linux/services/QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace sayvo {

void QtPasteboard::clearContents() {
    QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
}

bool QtPasteboard::setString(const std::string& text) {
    auto* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return false;
    clipboard->setText(QString::fromStdString(text), QClipboard::Clipboard);
    // A desktop clipboard (with selections, as on X11) can refuse the
    // ownership; an in-process one always keeps the text.
    return !clipboard->supportsSelection() || clipboard->ownsClipboard();
}

std::optional<std::string> QtPasteboard::string() const {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasText()) return std::nullopt;
    return data->text().toStdString();
}

bool QtPasteboard::hasPrimarySelection() const {
    const auto* clipboard = QGuiApplication::clipboard();
    return clipboard && clipboard->supportsSelection();
}

bool QtPasteboard::setPrimarySelection(const std::string& text) {
    auto* clipboard = QGuiApplication::clipboard();
    if (!clipboard || !clipboard->supportsSelection()) return false;
    clipboard->setText(QString::fromStdString(text), QClipboard::Selection);
    return clipboard->ownsSelection();
}

}  // namespace sayvo
