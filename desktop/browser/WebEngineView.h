#pragma once

#include <QWebEngineView>

// A view that opens every new window or tab a page asks for in itself.
class WebEngineView : public QWebEngineView
{
    Q_OBJECT

public:
    explicit WebEngineView(QWidget *parent = nullptr);

protected:
    QWebEngineView *createWindow(QWebEnginePage::WebWindowType type) override;
};
