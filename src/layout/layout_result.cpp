#include "layout/layout_result.hpp"

namespace rdv {
namespace {

std::string_view present_or_empty(const Text& text) noexcept
{
    return text ? std::string_view(*text) : std::string_view();
}

}  // namespace

Result<> write_layout_result(Writer& writer, const LayoutReply& reply) noexcept
{
    RDV_TRY(writer.put(reply.status == LayoutStatus::success ? "{\"ok\":true" : "{\"ok\":false"));
    RDV_TRY(writer.put(",\"status\":"));
    RDV_TRY(write_json_string(writer, layout_status_word(reply.status)));
    RDV_TRY(writer.put(",\"output\":"));
    RDV_TRY(write_json_string(writer, present_or_empty(reply.output)));
    RDV_TRY(writer.put(",\"workspace\":"));
    RDV_TRY(write_unsigned_decimal(writer, reply.workspace));
    RDV_TRY(writer.put(",\"layout\":"));
    RDV_TRY(write_json_string(writer, present_or_empty(reply.layout)));
    return writer.put("}\n");
}

}  // namespace rdv
