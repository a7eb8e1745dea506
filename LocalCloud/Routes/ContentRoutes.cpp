#include "LocalCloud/Server/LocalCloudServerImplementation.hpp"

#include "LocalCloud/Server/RequestParsing.hpp"

#include "Platform/Foundation/Digest.hpp"

#include <zlib.h>

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace LocalCloud {

namespace {

// Sends a file's bytes in chunks, paced and cut as the shaping says; with
// `deflate`, as one zlib stream (HTTP's "deflate" coding), paced and cut by
// the bytes that go over the wire.
struct ShapedReader {
    int descriptor = -1;
    std::size_t size = 0;
    TransferShaping shaping {};
    const std::atomic<bool>* stopping = nullptr;
    std::chrono::steady_clock::time_point startTime = std::chrono::steady_clock::now();
    std::string buffer {};
    std::string compressed {};
    std::size_t readOffset = 0;
    std::size_t sentBytes = 0;
    z_stream zlib {};
    bool zlibReady = false;

    ~ShapedReader()
    {
        if (zlibReady)
            deflateEnd(&zlib);
        if (descriptor >= 0)
            ::close(descriptor);
    }

    void pace(std::size_t offset) const
    {
        if (shaping.bytesPerSecond == 0)
            return;
        // Pace by the total so far, so the rate holds however the chunks fall.
        auto due = startTime + std::chrono::microseconds(offset * 1'000'000 / shaping.bytesPerSecond);
        std::this_thread::sleep_until(due);
    }

    bool provide(std::size_t offset, std::size_t length, httplib::DataSink& sink)
    {
        if (stopping->load())
            return false;
        if (shaping.cutAfterBytes && offset >= *shaping.cutAfterBytes)
            return false;
        std::size_t chunk = std::min({ length, shaping.chunkSize, size - offset });
        if (shaping.cutAfterBytes)
            chunk = std::min(chunk, *shaping.cutAfterBytes - offset);
        pace(offset);
        buffer.resize(std::max(buffer.size(), chunk));
        ssize_t got = ::pread(descriptor, buffer.data(), chunk, static_cast<off_t>(offset));
        if (got <= 0)
            return false;
        return sink.write(buffer.data(), static_cast<std::size_t>(got));
    }

    bool provideDeflated(httplib::DataSink& sink)
    {
        if (stopping->load())
            return false;
        if (!zlibReady) {
            if (deflateInit(&zlib, Z_BEST_SPEED) != Z_OK)
                return false;
            zlibReady = true;
        }
        std::size_t chunk = std::min(shaping.chunkSize, size - readOffset);
        buffer.resize(std::max(buffer.size(), chunk));
        ssize_t got = chunk == 0 ? 0 : ::pread(descriptor, buffer.data(), chunk, static_cast<off_t>(readOffset));
        if (got < 0 || (got == 0 && chunk > 0))
            return false;
        readOffset += static_cast<std::size_t>(got);
        bool finishing = readOffset >= size;
        zlib.next_in = reinterpret_cast<Bytef*>(buffer.data());
        zlib.avail_in = static_cast<uInt>(got);
        compressed.clear();
        int result = Z_OK;
        do {
            char out[64 * 1024];
            zlib.next_out = reinterpret_cast<Bytef*>(out);
            zlib.avail_out = sizeof out;
            result = deflate(&zlib, finishing ? Z_FINISH : Z_NO_FLUSH);
            if (result == Z_STREAM_ERROR)
                return false;
            compressed.append(out, sizeof out - zlib.avail_out);
        } while (zlib.avail_out == 0 || (finishing && result != Z_STREAM_END));
        std::size_t allowed = compressed.size();
        if (shaping.cutAfterBytes)
            allowed = std::min(allowed, *shaping.cutAfterBytes - std::min(sentBytes, *shaping.cutAfterBytes));
        pace(sentBytes);
        if (allowed > 0 && !sink.write(compressed.data(), allowed))
            return false;
        sentBytes += allowed;
        if (allowed < compressed.size())
            return false;
        if (finishing)
            sink.done();
        return true;
    }
};

} // namespace

void LocalCloudServer::Implementation::installRoutes()
{
    installAccountRoutes();
    installFileRoutes();
    installShareRoutes();
    installCustomerRoutes();
    routes.push_back({ "GET", std::regex(R"(/v2\.0/status)"),
        [this](const httplib::Request&, httplib::Response& response, const RequestBody&, const std::smatch&) {
            serveStatus(response);
        } });
    // Routes that let a test reach into the service: none of them in a service left running.
    if (options.testControls) {
        routes.push_back({ "GET", std::regex(R"(/v2\.0/debug/raw/(\d+))"),
            [this](const httplib::Request&, httplib::Response& response, const RequestBody&, const std::smatch& match) {
                serveRawDownload(identifierFrom(match), response);
            } });
        routes.push_back({ "PUT", std::regex(R"(/v2\.0/debug/raw/(\d+))"),
            [this](const httplib::Request& request, httplib::Response& response, const RequestBody& body,
                const std::smatch& match) { serveRawUpload(identifierFrom(match), request, response, body); } });
        routes.push_back({ "GET", std::regex(R"(/v2\.0/debug/redirect-loop)"),
            [this](const httplib::Request& request, httplib::Response& response, const RequestBody&, const std::smatch&) {
                serveRedirectLoop(request, response);
            } });
        installEchoRoutes();
    }

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

void LocalCloudServer::Implementation::serveContent(int descriptor, std::size_t size, bool deflate,
    httplib::Response& response, const std::string& contentType)
{
    TransferShaping current;
    {
        std::lock_guard lock(mutex);
        current = shaping;
    }
    // Made in place: the reader owns the descriptor and closes it when the answer is done with it.
    auto reader = std::make_shared<ShapedReader>();
    reader->descriptor = descriptor;
    reader->size = size;
    reader->shaping = current;
    reader->stopping = &stopping;
    response.status = 200;
    if (deflate) {
        response.set_header("Content-Encoding", "deflate");
        response.set_chunked_content_provider(contentType,
            [reader](std::size_t, httplib::DataSink& sink) { return reader->provideDeflated(sink); });
        return;
    }
    response.set_content_provider(size, contentType,
        [reader](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            return reader->provide(offset, length, sink);
        });
}

std::expected<ReceivedContent, ServiceError> LocalCloudServer::Implementation::receiveContent(
    const std::filesystem::path& temporaryFile, const httplib::Request& request, const RequestBody& body,
    std::int64_t limit)
{
    int descriptor = ::open(temporaryFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        body.discard(request);
        return std::unexpected(ServiceErrors::internal("Cannot store the content"));
    }
    Platform::Digest digest(Platform::Digest::Algorithm::SHA1);
    std::int64_t size = 0;
    bool written = true;
    bool tooLarge = false;
    auto store = [&](const char* data, std::size_t length) {
        if (size + static_cast<std::int64_t>(length) > limit) {
            tooLarge = true;
            return false;
        }
        digest.update(std::span(reinterpret_cast<const std::uint8_t*>(data), length));
        while (length > 0 && written) {
            ssize_t count = ::write(descriptor, data, length);
            if (count < 0 && errno == EINTR)
                continue;
            written = count > 0;
            if (written) {
                data += count;
                length -= static_cast<std::size_t>(count);
                size += count;
            }
        }
        return written;
    };
    bool received = body.reader ? (*body.reader)(store) : store(request.body.data(), request.body.size());
    // Synced before anything names it: an upload is answered only once it would survive a power cut.
    bool synced = received && written && ::fsync(descriptor) == 0;
    ::close(descriptor);
    if (!received || !written || !synced) {
        std::error_code ignored;
        std::filesystem::remove(temporaryFile, ignored);
        if (tooLarge)
            return std::unexpected(ServiceErrors::storageFull());
        return std::unexpected(ServiceErrors::internal("The content did not arrive completely"));
    }
    return ReceivedContent { temporaryFile, size, Platform::hexString(std::move(digest).finish()), std::nullopt,
        std::nullopt };
}

void LocalCloudServer::Implementation::serveRawDownload(std::int64_t identifier, httplib::Response& response)
{
    auto path = options.dataFolder / "raw" / std::to_string(identifier);
    int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (descriptor < 0 || ::fstat(descriptor, &status) != 0) {
        if (descriptor >= 0)
            ::close(descriptor);
        respondWithServiceError(response, ServiceErrors::fileNotFound());
        return;
    }
    serveContent(descriptor, static_cast<std::size_t>(status.st_size), false, response);
}

void LocalCloudServer::Implementation::serveRawUpload(std::int64_t identifier, const httplib::Request& request,
    httplib::Response& response, const RequestBody& body)
{
    auto target = options.dataFolder / "raw" / std::to_string(identifier);
    auto partial = target;
    partial += ".part";
    std::error_code ignored;
    std::filesystem::remove(partial, ignored);
    auto received = receiveContent(partial, request, body, INT64_MAX);
    if (!received) {
        respondWithServiceError(response, received.error());
        return;
    }
    // Renamed into place only when complete, so a cut upload never shows.
    std::error_code error;
    std::filesystem::rename(partial, target, error);
    respondWithEnvelope(response,
        "{\"id\":" + std::to_string(identifier) + ",\"size\":" + std::to_string(received->size) + "}");
}

void LocalCloudServer::Implementation::serveRedirectLoop(const httplib::Request& request, httplib::Response& response)
{
    response.set_redirect(request.path, 302);
}

} // namespace LocalCloud
