// orva-testsite: a small stand-in for the gallery of an Orva web site, on 127.0.0.1,
// for tests of the uploader and for looking at the result in a browser.

#include "site.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <httplib.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include <pthread.h>
#include <unistd.h>

namespace {

// Where the reasons to stop meet the main thread.
class Stopper
{
public:
    void request()
    {
        {
            std::lock_guard lock(mutex_);
            requested_ = true;
        }
        changed_.notify_all();
    }
    void waitForRequest()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return requested_; });
    }
    void listenerDone()
    {
        {
            std::lock_guard lock(mutex_);
            listenerDone_ = true;
        }
        changed_.notify_all();
    }
    bool waitForListener(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [this] { return listenerDone_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool requested_ = false;
    bool listenerDone_ = false;
};

// Outlives every thread: the process ends with _exit.
Stopper* stopper = new Stopper;

int fail(const QString& message)
{
    std::fprintf(stderr, "orva-testsite: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    // SIGINT and SIGTERM are taken by a thread of their own; block them before any
    // other thread exists so that every thread inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orva-testsite"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A stand-in for the picture gallery of an Orva web site."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("TCP port on 127.0.0.1 (0: any free)."),
                                        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption userOption(QStringLiteral("user"),
                                        QStringLiteral("Administrator's user name."),
                                        QStringLiteral("NAME"), QStringLiteral("admin"));
    const QCommandLineOption passwordOption(QStringLiteral("password"),
                                            QStringLiteral("Administrator's password."),
                                            QStringLiteral("PASS"), QStringLiteral("secret"));
    const QCommandLineOption logOption(QStringLiteral("log"),
                                       QStringLiteral("Write a JSON line per request to FILE."),
                                       QStringLiteral("FILE"));
    const QCommandLineOption storeOption(
        QStringLiteral("store"),
        QStringLiteral("Keep uploaded pictures in DIR (default: a temporary directory)."),
        QStringLiteral("DIR"));
    const QCommandLineOption categoriesOption(
        QStringLiteral("categories"),
        QStringLiteral("Category tree, UTF-8 lines \"depth<TAB>id<TAB>name\"."),
        QStringLiteral("FILE"));
    const QCommandLineOption faultOption(
        QStringLiteral("fault"),
        QStringLiteral(
            "Misbehave: target:kind[:nth[:seconds]] (repeatable). Targets: login, "
            "gallery, upload, any. Kinds: refuse, stall, close, status500, redirect, "
            "zero-before, zero-after, empty, no-categories, endless (filler after the page "
            "without end), trickle (one byte a second), gzip (the answer compressed, "
            "asked for or not). nth 0: every matching "
            "request; N: only the N-th. At run time: GET /_control/fault?target=T&"
            "kind=K[&nth=N][&seconds=S], GET /_control/clear."),
        QStringLiteral("SPEC"));
    const QCommandLineOption certOption(
        QStringLiteral("tls-cert"),
        QStringLiteral("Speak https with the certificate in FILE (PEM; needs --tls-key)."),
        QStringLiteral("FILE"));
    const QCommandLineOption keyOption(QStringLiteral("tls-key"),
                                       QStringLiteral("The private key of --tls-cert (PEM)."),
                                       QStringLiteral("FILE"));
    const QCommandLineOption rateOption(
        QStringLiteral("upload-rate"),
        QStringLiteral("Read request bodies at most N Mbit/s, all connections together, like "
                       "a home uplink (default: as fast as they come)."),
        QStringLiteral("N"));
    const QCommandLineOption stdinOption(QStringLiteral("stop-on-stdin-eof"),
                                         QStringLiteral("Stop when standard input ends."));
    const QCommandLineOption demoOption(QStringLiteral("demo"),
                                        QStringLiteral("Accepted for compatibility; no effect."));
    parser.addOptions({portOption, userOption, passwordOption, logOption, storeOption,
                       categoriesOption, faultOption, certOption, keyOption, rateOption,
                       stdinOption, demoOption});
    parser.process(app);

    bool portOk = false;
    const int port = parser.value(portOption).toInt(&portOk);
    if (!portOk || port < 0 || port > 65535)
        return fail(QStringLiteral("bad port \"%1\"").arg(parser.value(portOption)));

    testsite::Site::Config config;
    config.user = parser.value(userOption).toLatin1();
    config.password = parser.value(passwordOption).toLatin1();
    if (parser.isSet(logOption))
        config.logPath = QDir::current().absoluteFilePath(parser.value(logOption));
    config.categories = testsite::defaultCategories();
    if (parser.isSet(rateOption)) {
        bool rateOk = false;
        config.uploadMbits = parser.value(rateOption).toDouble(&rateOk);
        if (!rateOk || config.uploadMbits <= 0)
            return fail(QStringLiteral("bad upload rate \"%1\"").arg(parser.value(rateOption)));
    }
    QString error;
    if (parser.isSet(categoriesOption) &&
        !testsite::loadCategories(parser.value(categoriesOption), &config.categories, &error))
        return fail(error);

    // Without --store the pictures live in a temporary directory, removed at exit.
    std::unique_ptr<QTemporaryDir> temporaryStore;
    if (parser.isSet(storeOption)) {
        config.storeDir = parser.value(storeOption);
    } else {
        temporaryStore = std::make_unique<QTemporaryDir>(
            QDir::temp().filePath(QStringLiteral("orva-testsite-XXXXXX")));
        if (!temporaryStore->isValid())
            return fail(QStringLiteral("cannot create a temporary store"));
        config.storeDir = temporaryStore->path();
    }

    testsite::Site site(config);
    if (!site.open(&error))
        return fail(error);
    for (const QString& spec : parser.values(faultOption)) {
        testsite::Fault fault;
        if (!testsite::parseFaultSpec(spec, &fault, &error) || !site.addFault(fault, &error))
            return fail(error);
    }

    const bool tls = parser.isSet(certOption) || parser.isSet(keyOption);
    std::unique_ptr<httplib::Server> served;
    if (tls) {
        auto secure = std::make_unique<httplib::SSLServer>(
            QFile::encodeName(parser.value(certOption)).constData(),
            QFile::encodeName(parser.value(keyOption)).constData());
        if (!secure->is_valid())
            return fail(QStringLiteral("cannot use the certificate and key given"));
        served = std::move(secure);
    } else {
        served = std::make_unique<httplib::Server>();
    }
    httplib::Server& server = *served;
    // Headers and body go out in separate writes; without this, Nagle's
    // algorithm holds the body back until the client's delayed ACK (~40 ms).
    server.set_tcp_nodelay(true);
    site.install(server);
    const char* host = "127.0.0.1";
    int bound = -1;
    if (port == 0)
        bound = server.bind_to_any_port(host);
    else if (server.bind_to_port(host, port))
        bound = port;
    if (bound <= 0)
        return fail(QStringLiteral("cannot listen on %1:%2").arg(QLatin1String(host)).arg(port));

    std::thread listener([&server] {
        server.listen_after_bind();
        stopper->listenerDone();
    });
    std::thread([stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        stopper->request();
    }).detach();
    if (parser.isSet(stdinOption)) {
        std::thread([] {
            char buffer[256];
            ssize_t n;
            do {
                n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            } while (n > 0 || (n < 0 && errno == EINTR));
            stopper->request();
        }).detach();
    }

    // The socket listens from bind on, so connections wait in its backlog until the
    // listener takes them.
    std::printf("listening on %s://%s:%d\n", tls ? "https" : "http", host, bound);
    std::fflush(stdout);

    stopper->waitForRequest();
    site.shutdown();
    server.stop();
    // Connections that are still open end within the keep-alive time; do not wait
    // that long for them.
    if (stopper->waitForListener(std::chrono::milliseconds(1000)))
        listener.join();
    else
        listener.detach();
    if (temporaryStore)
        temporaryStore->remove();
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(0);
}
