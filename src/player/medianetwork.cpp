#include "medianetwork.h"

#include <gst/gst.h>

#include <QSet>
#include <QStringList>

namespace vellomar {

namespace {

// URI schemes a local file may be read through; a source claiming any other is removed.
bool localscheme(const char *scheme)
{
    static const QSet<QByteArray> local = {"file", "fd", "appsrc", "data"};
    return local.contains(QByteArray(scheme).toLower());
}

bool fetchesfromnetwork(GstElementFactory *factory)
{
    static const QSet<QByteArray> demuxers = {"hlsdemux",   "hlsdemux2", "dashdemux",
                                              "dashdemux2", "mssdemux",  "mssdemux2"};
    if (demuxers.contains(GST_OBJECT_NAME(factory)))
        return true;
    if (gst_element_factory_get_uri_type(factory) != GST_URI_SRC)
        return false;
    const gchar *const *schemes = gst_element_factory_get_uri_protocols(factory);
    for (; schemes && *schemes; ++schemes) {
        if (!localscheme(*schemes))
            return true;
    }
    return false;
}

} // namespace

bool removenetworksources()
{
    static const bool done = [] {
        if (!gst_init_check(nullptr, nullptr, nullptr))
            return false;
        GstRegistry *registry = gst_registry_get();
        GList *features = gst_registry_get_feature_list(registry, GST_TYPE_ELEMENT_FACTORY);
        for (GList *f = features; f; f = f->next) {
            auto *factory = GST_ELEMENT_FACTORY(f->data);
            if (fetchesfromnetwork(factory))
                gst_registry_remove_feature(registry, GST_PLUGIN_FEATURE(factory));
        }
        gst_plugin_feature_list_free(features);
        return true;
    }();
    return done;
}

bool canreaduri(const QString &uri)
{
    if (!gst_init_check(nullptr, nullptr, nullptr))
        return false;
    GstElement *e =
        gst_element_make_from_uri(GST_URI_SRC, uri.toUtf8().constData(), nullptr, nullptr);
    if (!e)
        return false;
    gst_object_unref(e);
    return true;
}

} // namespace vellomar
