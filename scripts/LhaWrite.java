// Writes an LHA archive member by member, each with its own method and
// header level, through the LHA library of Debian's jlha-utils
// (libjlha-java): it can write -lh1- (LHarc 1.x) and -lz5- (LArc) members
// and level-3 headers, which no LHA tool packaged in Debian writes.
//
// Usage (from scripts/make-archive-samples.sh):
//   java -Dlha.encoding=MS932 -cp /usr/share/java/jlha.jar scripts/LhaWrite.java \
//        OUT.lzh METHOD LEVEL NAME FILE [METHOD LEVEL NAME FILE ...]
// NAME is stored as given, in Shift-JIS, with '\' between folders; every
// member is dated 1996-04-10 23:15 (UTC).
import java.io.File;
import java.io.FileOutputStream;
import java.io.OutputStream;
import java.io.RandomAccessFile;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.Date;
import jp.gr.java_conf.dangan.util.lha.LhaHeader;
import jp.gr.java_conf.dangan.util.lha.LhaOutputStream;

public class LhaWrite {
  public static void main(String[] args) throws Exception {
    if (args.length < 5 || (args.length - 1) % 4 != 0) {
      System.err.println("usage: LhaWrite OUT.lzh METHOD LEVEL NAME FILE [...]");
      System.exit(2);
    }
    final Date stamp = new Date(829178100000L);
    final File work = new File(args[0] + ".work");
    try (OutputStream file = new FileOutputStream(args[0]);
         RandomAccessFile scratch = new RandomAccessFile(work, "rw");
         LhaOutputStream out = new LhaOutputStream(file, scratch)) {
      for (int i = 1; i < args.length; i += 4) {
        LhaHeader header = new LhaHeader(args[i + 2], stamp);
        header.setCompressMethod(args[i]);
        header.setHeaderLevel(Integer.parseInt(args[i + 1]));
        out.putNextEntry(header);
        out.write(Files.readAllBytes(Paths.get(args[i + 3])));
        out.closeEntry();
      }
    } finally {
      work.delete();
    }
  }
}
