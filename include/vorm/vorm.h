// Umbrella header: every public component of the library.
#pragma once

#include <vorm/browse_folder.h>
#include <vorm/callbacks.h>
#include <vorm/diagnostics.h>
#include <vorm/face_reader.h>
#include <vorm/file_events.h>
#include <vorm/file_match.h>
#include <vorm/file_modified.h>
#include <vorm/file_ops.h>
#include <vorm/file_stream.h>
#include <vorm/file_trees.h>
#include <vorm/message_queue.h>
#include <vorm/page_pool.h>
#include <vorm/path.h>
#include <vorm/point_reader.h>
#include <vorm/point_string.h>
#include <vorm/progress.h>
#include <vorm/result_codes.h>
#include <vorm/selector.h>
#include <vorm/server_thread.h>
#include <vorm/stdio_file.h>
#include <vorm/strings.h>
#include <vorm/timer.h>
#include <vorm/wnd_msg_server.h>
#include <vorm/xml.h>
#include <vorm/xml_util.h>
