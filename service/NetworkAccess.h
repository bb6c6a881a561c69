#pragma once

class QNetworkAccessManager;

// The calling thread's own access manager, made on first use and released
// with the thread (the main thread's with the application object).
QNetworkAccessManager *threadNetworkManager();

// The same for pictures: their own connections, so that slow pictures
// (which may go on for a while behind the sign-in) never hold up a
// service request waiting for a free connection to the same host.
QNetworkAccessManager *pictureNetworkManager();
