#include "components/word/office/RemoteContent.h"

#include <algorithm>
#include <array>

#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/ucb/ContentProviderInfo.hpp>
#include <com/sun/star/ucb/UniversalContentBroker.hpp>
#include <com/sun/star/util/XChangesBatch.hpp>

#include "platform/environment_settings.h"

namespace word_component {

namespace {

using css::uno::Any;
using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;

// The broker's schemes that stay on this machine: files, the parts of packages and documents,
// the office's own installation and help. Any other provider goes, also one the office adds
// that we do not know of.
bool IsLocalScheme(const rtl::OUString& scheme) {
    static const std::array<const char*, 10> kLocal = {"file",
                                                       "vnd.sun.star.pkg",
                                                       "vnd.sun.star.zip",
                                                       "vnd.sun.star.expand",
                                                       "vnd.sun.star.tdoc",
                                                       "vnd.sun.star.hier",
                                                       "vnd.sun.star.help",
                                                       "vnd.sun.star.extension",
                                                       "vnd.libreoffice.image",
                                                       "private"};
    return std::any_of(kLocal.begin(), kLocal.end(),
                       [&](const char* local) { return scheme.equalsIgnoreAsciiCaseAscii(local); });
}

void BlockLinksOfUntrustedDocuments(const Reference<css::uno::XComponentContext>& office) {
    const css::beans::NamedValue node(
        "nodepath", Any(rtl::OUString("/org.openoffice.Office.Common/Security/Scripting")));
    const Any arguments[] = {Any(node)};
    Reference<css::beans::XPropertySet> scripting(
        css::configuration::theDefaultProvider::get(office)->createInstanceWithArguments(
            "com.sun.star.configuration.ConfigurationUpdateAccess",
            css::uno::Sequence<Any>(arguments, 1)),
        UNO_QUERY_THROW);
    scripting->setPropertyValue("BlockUntrustedRefererLinks", Any(true));
    Reference<css::util::XChangesBatch>(scripting, UNO_QUERY_THROW)->commitChanges();
}

void RemoveRemoteContentProviders(const Reference<css::uno::XComponentContext>& office) {
    const Reference<css::ucb::XUniversalContentBroker> broker =
        css::ucb::UniversalContentBroker::create(office);
    for (const css::ucb::ContentProviderInfo& provider : broker->queryContentProviders()) {
        if (!IsLocalScheme(provider.Scheme)) {
            broker->deregisterContentProvider(provider.ContentProvider, provider.Scheme);
        }
    }
}

}  // namespace

bool RemoteContentAllowed() {
    return platform::FlagSetting(platform::Setting::FetchRemoteContent);
}

void ForbidRemoteContent(const Reference<css::uno::XComponentContext>& office) {
    BlockLinksOfUntrustedDocuments(office);
    RemoveRemoteContentProviders(office);
}

}  // namespace word_component
