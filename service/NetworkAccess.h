#pragma once

class QNetworkAccessManager;

// The calling thread's own access manager, made on first use and released
// with the thread (the main thread's with the application object).
QNetworkAccessManager *threadNetworkManager();
