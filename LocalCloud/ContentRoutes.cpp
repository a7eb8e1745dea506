#include "LocalCloud/LocalCloudServerImplementation.hpp"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace LocalCloud {

namespace {

std::int64_t identifierFrom(const std::smatch& match)
{
    std::int64_t identifier = -1;
    auto text = match[1].str();
    std::from_chars(text.data(), text.data() + text.size(), identifier);
    return identifier;
}

// Reads the whole file region [offset, offset + length) in chunks into the sink.
struct ShapedReader {
    int descriptor;
    std::size_t size;
    TransferShaping shaping;
    const std::atomic<bool>* stopping;
    std::chrono::steady_clock::time_point startTime = std::chrono::steady_clock::now();
    std::string buffer {};

    bool provide(std::size_t offset, std::size_t length, httplib::DataSink& sink)
    {
        if (stopping->load())
            return false;
        if (shaping.cutAfterBytes && offset >= *shaping.cutAfterBytes)
            return false;
        std::size_t chunk = std::min({ length, shaping.chunkSize, size - offset });
        if (shaping.cutAfterBytes)
            chunk = std::min(chunk, *shaping.cutAfterBytes - offset);
        if (shaping.bytesPerSecond > 0) {
            // Pace by the total so far, so the rate holds however the chunks fall.
            auto due = startTime + std::chrono::microseconds(offset * 1'000'000 / shaping.bytesPerSecond);
            std::this_thread::sleep_until(due);
        }
        buffer.resize(std::max(buffer.size(), chunk));
        ssize_t got = ::pread(descriptor, buffer.data(), chunk, static_cast<off_t>(offset));
        if (got <= 0)
            return false;
        return sink.write(buffer.data(), static_cast<std::size_t>(got));
    }
};

} // namespace

void LocalCloudServer::Implementation::installRoutes()
{
    installAccountRoutes();
    routes.push_back({ "GET", std::regex(R"(/v2\.0/status)"),
        [this](const httplib::Request&, httplib::Response& response, const RequestBody&, const std::smatch&) {
            serveStatus(response);
        } });
    routes.push_back({ "GET", std::regex(R"(/v2\.0/files/(\d+)/download)"),
        [this](const httplib::Request&, httplib::Response& response, const RequestBody&, const std::smatch& match) {
            serveDownload(identifierFrom(match), response);
        } });
    routes.push_back({ "PUT", std::regex(R"(/v2\.0/files/(\d+)/stream)"),
        [this](const httplib::Request& request, httplib::Response& response, const RequestBody& body,
            const std::smatch& match) { serveUpload(identifierFrom(match), request, response, body); } });
    routes.push_back({ "GET", std::regex(R"(/v2\.0/debug/redirect-loop)"),
        [this](const httplib::Request& request, httplib::Response& response, const RequestBody&, const std::smatch&) {
            serveRedirectLoop(request, response);
        } });
    installEchoRoutes();

    // One catch-all per method feeds every request through `dispatch`, so that
    // gates and scripts apply to any path, known or not.
    const char* everything = R"(/.*)";
    auto plain = [this](const httplib::Request& request, httplib::Response& response) {
        dispatch(request, response, RequestBody {});
    };
    auto streamed = [this](const httplib::Request& request, httplib::Response& response,
                        const httplib::ContentReader& reader) { dispatch(request, response, RequestBody { &reader }); };
    server.Get(everything, plain);
    server.Delete(everything, plain);
    server.Options(everything, plain);
    server.Post(everything, streamed);
    server.Put(everything, streamed);
    server.Patch(everything, streamed);
}

void LocalCloudServer::Implementation::serveStatus(httplib::Response& response)
{
    respondWithEnvelope(response, R"({"service":"localcloud"})");
}

void LocalCloudServer::Implementation::serveDownload(std::int64_t identifier, httplib::Response& response)
{
    auto path = options.dataFolder / "content" / std::to_string(identifier);
    int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (descriptor < 0 || ::fstat(descriptor, &status) != 0) {
        if (descriptor >= 0)
            ::close(descriptor);
        respondWithError(response, 404, 5004, "File not found");
        return;
    }
    TransferShaping current;
    {
        std::lock_guard lock(mutex);
        current = shaping;
    }
    auto reader = std::make_shared<ShapedReader>(
        ShapedReader { descriptor, static_cast<std::size_t>(status.st_size), current, &stopping });
    response.status = 200;
    response.set_content_provider(
        static_cast<std::size_t>(status.st_size), "application/octet-stream",
        [reader](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            return reader->provide(offset, length, sink);
        },
        [reader](bool) { ::close(reader->descriptor); });
}

void LocalCloudServer::Implementation::serveUpload(std::int64_t identifier, const httplib::Request& request,
    httplib::Response& response, const RequestBody& body)
{
    auto target = options.dataFolder / "content" / std::to_string(identifier);
    auto partial = target;
    partial += ".part";
    int descriptor = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        (void)body.readAll(request);
        respondWithError(response, 500, 5000, "Cannot store the content");
        return;
    }
    std::size_t size = 0;
    bool written = true;
    auto store = [&](const char* data, std::size_t length) {
        while (length > 0 && written) {
            ssize_t count = ::write(descriptor, data, length);
            if (count < 0 && errno == EINTR)
                continue;
            written = count > 0;
            if (written) {
                data += count;
                length -= static_cast<std::size_t>(count);
                size += static_cast<std::size_t>(count);
            }
        }
        return written;
    };
    bool received = body.reader ? (*body.reader)(store) : store(request.body.data(), request.body.size());
    ::close(descriptor);
    std::error_code error;
    if (!received || !written) {
        std::filesystem::remove(partial, error);
        respondWithError(response, 500, 5000, "Cannot store the content");
        return;
    }
    // Renamed into place only when complete, so a cut upload never shows.
    std::filesystem::rename(partial, target, error);
    respondWithEnvelope(response,
        "{\"id\":" + std::to_string(identifier) + ",\"size\":" + std::to_string(size) + "}");
}

void LocalCloudServer::Implementation::serveRedirectLoop(const httplib::Request& request, httplib::Response& response)
{
    response.set_redirect(request.path, 302);
}

} // namespace LocalCloud
