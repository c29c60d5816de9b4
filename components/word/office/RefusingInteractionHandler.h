// The interaction handler given to every load: the office would otherwise ask a person (a
// password, a repair of a damaged file, the encoding of a text file); nobody is there, so every
// request is answered with "abort", which makes the load fail instead of waiting.
#pragma once

#include <com/sun/star/task/XInteractionHandler.hpp>

namespace word_component {

css::uno::Reference<css::task::XInteractionHandler> MakeRefusingInteractionHandler();

}  // namespace word_component
