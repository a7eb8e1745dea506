#include "Quarlink/Coding/JSONElementStream.hpp"

#include <optional>
#include <string>
#include <vector>

namespace Quarlink {

namespace {

// Builds the document from parser events as nlohmann-json's own tree builder
// does, but diverts the elements of one top-level array to a callback.
class StreamingBuilder final : public nlohmann::json_sax<JSON> {
public:
    StreamingBuilder(std::string_view key, const std::function<void(JSON&&, std::size_t)>& element)
        : m_streamedKey(key)
        , m_element(element)
    {
    }

    JSON takeDocument() { return std::move(m_root); }

    bool null() override { return value(JSON(nullptr)); }
    bool boolean(bool flag) override { return value(JSON(flag)); }
    bool number_integer(number_integer_t number) override { return value(JSON(number)); }
    bool number_unsigned(number_unsigned_t number) override { return value(JSON(number)); }
    bool number_float(number_float_t number, const string_t&) override { return value(JSON(number)); }
    bool string(string_t& text) override { return value(JSON(std::move(text))); }
    bool binary(binary_t& bytes) override { return value(JSON::binary(std::move(bytes))); }

    bool start_object(std::size_t) override { return open(JSON::object()); }
    bool start_array(std::size_t) override
    {
        if (m_stack.size() == 1 && m_stack.back()->is_object() && m_key == m_streamedKey) {
            // The streamed list: an empty array stands in its place.
            (*m_stack.back())[m_key] = JSON::array();
            m_streamDepth = m_stack.size();
            m_nextIndex = 0;
            m_stack.push_back(nullptr);
            return true;
        }
        return open(JSON::array());
    }
    bool key(string_t& name) override
    {
        m_key = std::move(name);
        return true;
    }
    bool end_object() override { return close(); }
    bool end_array() override
    {
        if (m_streamDepth && m_stack.size() == *m_streamDepth + 1 && m_stack.back() == nullptr) {
            m_stack.pop_back();
            m_streamDepth.reset();
            return true;
        }
        return close();
    }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    bool atStreamedList() const { return m_streamDepth && m_stack.size() == *m_streamDepth + 1; }

    // Places a finished scalar, or a container about to be filled; returns where it went.
    JSON* place(JSON&& item)
    {
        if (m_stack.empty()) {
            m_root = std::move(item);
            return &m_root;
        }
        if (atStreamedList()) {
            m_current = std::move(item);
            return &m_current;
        }
        auto* parent = m_stack.back();
        if (parent->is_object())
            return &((*parent)[m_key] = std::move(item));
        parent->push_back(std::move(item));
        return &parent->back();
    }

    bool value(JSON&& item)
    {
        bool streamed = atStreamedList();
        place(std::move(item));
        if (streamed)
            deliver();
        return true;
    }

    bool open(JSON&& container)
    {
        m_stack.push_back(place(std::move(container)));
        return true;
    }

    bool close()
    {
        m_stack.pop_back();
        if (atStreamedList())
            deliver();
        return true;
    }

    void deliver()
    {
        m_element(std::move(m_current), m_nextIndex++);
        m_current = nullptr;
    }

    std::string_view m_streamedKey;
    const std::function<void(JSON&&, std::size_t)>& m_element;
    JSON m_root;
    JSON m_current;
    // Where values go: the open containers, innermost last; null for the streamed list.
    std::vector<JSON*> m_stack;
    std::string m_key;
    std::optional<std::size_t> m_streamDepth;
    std::size_t m_nextIndex { 0 };
};

} // namespace

std::expected<JSON, DecodingError> parseStreamingElements(std::string_view text, std::string_view key,
    const std::function<void(JSON&&, std::size_t)>& element)
{
    StreamingBuilder builder(key, element);
    // Strict, as the whole-document parse: trailing bytes and invalid UTF-8 fail.
    if (!JSON::sax_parse(text, &builder, nlohmann::detail::input_format_t::json, true))
        return std::unexpected(DecodingError(DecodingError::Kind::dataCorrupted, {}, "The given data was not valid JSON."));
    return builder.takeDocument();
}

} // namespace Quarlink
