#pragma once

#include <curl/curl.h>

#include <utility>

// Owners of libcurl handles: each handle is released exactly once, by the
// owner that holds it last. Move-only.
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

using Easy = Handle<CURL, curl_easy_cleanup>;
using Mime = Handle<curl_mime, curl_mime_free>;

inline Easy makeEasy()
{
    return Easy(curl_easy_init());
}
inline Mime makeMime(const Easy& easy)
{
    return Mime(curl_mime_init(easy.get()));
}

} // namespace curl
