#pragma once

#include "core/site/transfer.h"

#include <curl/curl.h>

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <memory>
#include <utility>

// Everything of the program that speaks to libcurl itself; only the site
// session and main() include this.
//
// Owners of libcurl handles: each handle is released exactly once, by the
// owner that holds it last. Move-only. Every option and form call is checked,
// and the first one that fails is kept: an Easy handle's next perform()
// returns it without sending anything, and clears it, so each failure stops
// exactly one request (SiteSession's set-up at construction stops the login,
// and no job goes on after a failed login). A Mime form's failure is taken
// by its owner before the form is used (takeError()).
namespace curl {

// Initialises libcurl for the life of the program; create one in main()
// before any thread exists (and one in every test program).
class Global
{
public:
    Global() : result_(curl_global_init(CURL_GLOBAL_ALL)) {}
    ~Global()
    {
        if (result_ == CURLE_OK)
            curl_global_cleanup();
    }
    Global(const Global&) = delete;
    Global& operator=(const Global&) = delete;

    bool ok() const { return result_ == CURLE_OK; }

private:
    CURLcode result_;
};

template <typename T, void (*Release)(T*)> class Handle
{
public:
    Handle() = default;
    explicit Handle(T* handle) : handle_(handle) {}
    ~Handle() { reset(); }
    Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Handle& operator=(Handle&& other) noexcept
    {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    T* get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void reset()
    {
        if (handle_)
            Release(std::exchange(handle_, nullptr));
    }

private:
    T* handle_ = nullptr;
};

// Remembers the first failed call of a series.
class Checked
{
public:
    bool check(CURLcode code)
    {
        if (code != CURLE_OK && first_ == CURLE_OK)
            first_ = code;
        return code == CURLE_OK;
    }
    CURLcode takeError() { return std::exchange(first_, CURLE_OK); }
    bool failed() const { return first_ != CURLE_OK; }

private:
    CURLcode first_ = CURLE_OK;
};

// An easy handle with its error buffer (libcurl's detailed text of the last
// failure).
class Easy
{
public:
    Easy() : handle_(curl_easy_init()), errors_(new char[CURL_ERROR_SIZE]())
    {
        if (handle_)
            set(CURLOPT_ERRORBUFFER, errors_.get());
        else
            checked_.check(CURLE_FAILED_INIT);
    }

    CURL* get() const { return handle_.get(); }
    explicit operator bool() const { return bool(handle_); }

    template <typename T> bool set(CURLoption option, T value)
    {
        return checked_.check(handle_ ? curl_easy_setopt(handle_.get(), option, value)
                                      : CURLE_FAILED_INIT);
    }

    // Performs the request, unless setting it up failed: then that failure is
    // the result and nothing is sent.
    CURLcode perform()
    {
        errors_[0] = '\0';
        if (checked_.failed())
            return checked_.takeError();
        return curl_easy_perform(handle_.get());
    }

    // libcurl's detailed text of the last failure; empty when it gave none.
    QString errorText() const { return QString::fromUtf8(errors_.get()).trimmed(); }

    long responseCode() const
    {
        long code = 0;
        if (handle_)
            curl_easy_getinfo(handle_.get(), CURLINFO_RESPONSE_CODE, &code);
        return code;
    }

private:
    Handle<CURL, curl_easy_cleanup> handle_;
    std::unique_ptr<char[]> errors_; // stays in place when the owner moves
    Checked checked_;
};

// A multipart form under construction for one request of `easy`.
class Mime
{
public:
    explicit Mime(const Easy& easy) : form_(curl_mime_init(easy.get()))
    {
        if (!form_)
            checked_.check(CURLE_OUT_OF_MEMORY);
    }

    // Adds a part; null (and the form marked failed) when that is impossible.
    curl_mimepart* addPart(const char* name)
    {
        curl_mimepart* part = form_ ? curl_mime_addpart(form_.get()) : nullptr;
        if (!part) {
            checked_.check(CURLE_OUT_OF_MEMORY);
            return nullptr;
        }
        check(curl_mime_name(part, name));
        return part;
    }
    // A text part; libcurl copies the value.
    void addText(const char* name, const QByteArray& value)
    {
        if (curl_mimepart* part = addPart(name))
            check(curl_mime_data(part, value.constData(), size_t(value.size())));
    }
    bool check(CURLcode code) { return checked_.check(code); }
    CURLcode takeError() { return checked_.takeError(); }
    curl_mime* get() const { return form_.get(); }

private:
    Handle<curl_mime, curl_mime_free> form_;
    Checked checked_;
};

// Where a request's answer goes: the bytes, up to a limit.
struct Sink
{
    QByteArray* body = nullptr;
    qint64 limit = 0;
    bool overflowed = false;
};

// Appends the received bytes to the Sink* given as user pointer; refuses them
// (which ends the transfer) once the answer would exceed the sink's limit.
size_t writeCallback(char* data, size_t size, size_t nmemb, void* sink);

// Reports (ultotal, ulnow) to the transfer::ProgressReceiver* given as user
// pointer while the total to send is above zero, with a trace line; lets the
// transfer go on unless the receiver asks for an abort.
int progressCallback(void* receiver, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal,
                     curl_off_t ulnow);

// The two byte counts as ints: cut toward zero, and both scaled down together
// when the total does not fit, so the ratio between them stays right.
std::pair<int, int> progressValues(curl_off_t ultotal, curl_off_t ulnow);

// libcurl's description of a result code.
QString describe(CURLcode code);

} // namespace curl
