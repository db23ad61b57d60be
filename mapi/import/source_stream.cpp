#include "mapi/import/source_stream.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace qc::mapi::import {

namespace {

// What a stream and the streams made from it share.
struct Shared {
  std::shared_ptr<const ByteSource> source;
  std::exception_ptr failure;
};

// A GObject instance: laid out as C, with the shared state behind a pointer of its own.
struct SourceStream {
  GMimeStream parent;
  std::shared_ptr<Shared>* shared;
  gboolean ended;  // the source held less than it announced (a file that shrank)
  gboolean blankNuls;
};

struct SourceStreamClass {
  GMimeStreamClass parent_class;
};

GObjectClass* parentClass = nullptr;

GType SourceStreamType();

SourceStream* Self(GMimeStream* stream) {
  return reinterpret_cast<SourceStream*>(stream);
}

GMimeStream* Construct(std::shared_ptr<Shared> shared, gint64 start, gint64 end) {
  auto* self = static_cast<SourceStream*>(g_object_new(SourceStreamType(), nullptr));
  self->shared = new std::shared_ptr<Shared>(std::move(shared));
  g_mime_stream_construct(&self->parent, start, end);
  return &self->parent;
}

void Finalize(GObject* object) {
  auto* self = reinterpret_cast<SourceStream*>(object);
  delete self->shared;
  self->shared = nullptr;
  parentClass->finalize(object);
}

ssize_t Read(GMimeStream* stream, char* buf, size_t len) {
  SourceStream* self = Self(stream);
  if (self->ended || stream->position >= stream->bound_end) return 0;
  len = static_cast<size_t>(
      std::min<gint64>(static_cast<gint64>(len), stream->bound_end - stream->position));
  Shared& shared = **self->shared;
  std::size_t got = 0;
  try {
    got = shared.source->read(static_cast<std::uint64_t>(stream->position),
                              reinterpret_cast<std::uint8_t*>(buf), len);
  } catch (...) {
    if (!shared.failure) shared.failure = std::current_exception();
    return -1;
  }
  if (got == 0) self->ended = TRUE;
  // A space keeps every offset GMime takes from this stream where it is in the source.
  if (self->blankNuls && std::memchr(buf, '\0', got) != nullptr) {
    std::replace(buf, buf + got, '\0', ' ');
  }
  stream->position += static_cast<gint64>(got);
  return static_cast<ssize_t>(got);
}

ssize_t Write(GMimeStream*, const char*, size_t) {
  return -1;
}

int NoOp(GMimeStream*) {
  return 0;
}

gboolean Eos(GMimeStream* stream) {
  return Self(stream)->ended || stream->position >= stream->bound_end;
}

int Reset(GMimeStream* stream) {
  Self(stream)->ended = FALSE;
  return 0;  // g_mime_stream_reset() moves the position back to the start
}

// Positions are absolute, as in GMime's own streams.
gint64 Seek(GMimeStream* stream, gint64 offset, GMimeSeekWhence whence) {
  const gint64 target = whence == GMIME_STREAM_SEEK_SET   ? offset
                        : whence == GMIME_STREAM_SEEK_CUR ? stream->position + offset
                                                          : stream->bound_end + offset;
  if (target < stream->bound_start || target > stream->bound_end) return -1;
  stream->position = target;
  Self(stream)->ended = FALSE;
  return target;
}

gint64 Tell(GMimeStream* stream) {
  return stream->position;
}

gint64 Length(GMimeStream* stream) {
  return stream->bound_end - stream->bound_start;
}

GMimeStream* Substream(GMimeStream* stream, gint64 start, gint64 end) {
  return Construct(*Self(stream)->shared, start, end);
}

void ClassInit(gpointer klass, gpointer) {
  parentClass = static_cast<GObjectClass*>(g_type_class_peek_parent(klass));
  static_cast<GObjectClass*>(klass)->finalize = Finalize;
  auto* streams = static_cast<GMimeStreamClass*>(klass);
  streams->read = Read;
  streams->write = Write;
  streams->flush = NoOp;
  streams->close = NoOp;
  streams->eos = Eos;
  streams->reset = Reset;
  streams->seek = Seek;
  streams->tell = Tell;
  streams->length = Length;
  streams->substream = Substream;
}

GType SourceStreamType() {
  static const GType type = [] {
    GTypeInfo info{};
    info.class_size = static_cast<guint16>(sizeof(SourceStreamClass));
    info.class_init = ClassInit;
    info.instance_size = static_cast<guint16>(sizeof(SourceStream));
    return g_type_register_static(GMIME_TYPE_STREAM, "QcSourceStream", &info, GTypeFlags{});
  }();
  return type;
}

}  // namespace

GPtr<GMimeStream> NewSourceStream(std::shared_ptr<const ByteSource> source, std::uint64_t start,
                                  std::uint64_t end, Nuls nuls) {
  EnsureGMimeInitialized();
  auto shared = std::make_shared<Shared>();
  shared->source = std::move(source);
  GMimeStream* stream =
      Construct(std::move(shared), static_cast<gint64>(start), static_cast<gint64>(end));
  Self(stream)->blankNuls = nuls == Nuls::Blanked;
  return GPtr<GMimeStream>(stream);
}

std::optional<SourceRange> RangeOf(GMimeStream* stream) {
  if (stream == nullptr || !G_TYPE_CHECK_INSTANCE_TYPE(stream, SourceStreamType())) return {};
  if (stream->bound_start < 0 || stream->bound_end < stream->bound_start) return {};
  return SourceRange{(**Self(stream)->shared).source.get(),
                     static_cast<std::uint64_t>(stream->bound_start),
                     static_cast<std::uint64_t>(stream->bound_end)};
}

void RethrowReadFailure(GMimeStream* stream) {
  if (stream == nullptr || !G_TYPE_CHECK_INSTANCE_TYPE(stream, SourceStreamType())) return;
  if (const std::exception_ptr failure = (**Self(stream)->shared).failure) {
    std::rethrow_exception(failure);
  }
}

}  // namespace qc::mapi::import
