#include "classifier/Guardrails.h"

#include "classifier/AcknowledgedCommitmentGuardrail.h"
#include "classifier/DeterministicPrefilter.h"
#include "classifier/DirectAskGuardrail.h"
#include "classifier/PassivePolicyNoticeGuardrail.h"
#include "classifier/RichLinkGuardrail.h"

namespace nudgerly::Guardrails {

std::optional<Classification> firstCertain(const Conversation& conversation) {
    using Guardrail = std::optional<Classification> (*)(const Conversation&);
    static constexpr Guardrail inOrder[] = {
        PassivePolicyNoticeGuardrail::classifyIfCertain,    DirectAskGuardrail::classifyIfCertain,
        AcknowledgedCommitmentGuardrail::classifyIfCertain, RichLinkGuardrail::classifyIfPresent,
        DeterministicPrefilter::classifyIfCertain,
    };
    for (const Guardrail guardrail : inOrder) {
        if (auto decision = guardrail(conversation)) {
            return decision;
        }
    }
    return std::nullopt;
}

}  // namespace nudgerly::Guardrails
