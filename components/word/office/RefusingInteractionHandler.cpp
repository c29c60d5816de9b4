#include "components/word/office/RefusingInteractionHandler.h"

#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionRequest.hpp>
#include <cppuhelper/implbase1.hxx>

namespace word_component {

namespace {

class RefusingInteractionHandler : public cppu::WeakImplHelper1<css::task::XInteractionHandler> {
  public:
    void SAL_CALL
    handle(const css::uno::Reference<css::task::XInteractionRequest>& request) override {
        if (!request.is()) {
            return;
        }
        const auto continuations = request->getContinuations();
        for (const auto& continuation : continuations) {
            css::uno::Reference<css::task::XInteractionAbort> abort(continuation,
                                                                    css::uno::UNO_QUERY);
            if (abort.is()) {
                abort->select();
                return;
            }
        }
        // A request that cannot be aborted is left unanswered, which the office takes as a no.
    }
};

}  // namespace

css::uno::Reference<css::task::XInteractionHandler> MakeRefusingInteractionHandler() {
    return new RefusingInteractionHandler;
}

}  // namespace word_component
