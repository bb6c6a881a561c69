#include "desktop/browser/WebEngineView.h"

WebEngineView::WebEngineView(QWidget *parent)
    : QWebEngineView(parent)
{
}

QWebEngineView *WebEngineView::createWindow(QWebEnginePage::WebWindowType)
{
    return this;
}
